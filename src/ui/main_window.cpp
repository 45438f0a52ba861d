#include "ui/main_window.h"

#include <QAction>
#include <QCursor>
#include <QFocusEvent>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>

#include <utility>

#include "build_settings.h"
#include "ui/hyperlink.h"
#include "ui/qt_window_operations.h"
#include "ui/song_list.h"
#include "ui/typed_digits_filter.h"

namespace kavuro {
namespace {

QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

std::string_view HomepageUrl() {
    return build_settings::kHomepageUrl;
}

QPoint MainWindow::TakePopupPosition() {
    return std::exchange(nextPopupPosition_, std::nullopt).value_or(QCursor::pos() + QPoint(3, 3));
}

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("Kavuro"));
    setWindowIcon(QIcon(QStringLiteral(":/kavuro/kavuro.png")));
    store_ = std::make_shared<WindowStore>(Text(kInitialQqNumber));
    auto* client = new QWidget(this);
    setCentralWidget(client);

    // Creation order is stacking order: each control is created after the ones it may
    // overlap and before the ones that may overlap it.
    const QString homepage =
        QString::fromUtf8(HomepageUrl().data(), static_cast<qsizetype>(HomepageUrl().size()));
    auto* link2 = new Hyperlink(QStringLiteral("关注作者博客"), homepage, client);
    link2->setObjectName(QStringLiteral("超级链接框2"));
    link2->setGeometry(360, 0, 120, 32);
    auto* link1 = new Hyperlink(QStringLiteral("点击下载更多"), homepage, client);
    link1->setObjectName(QStringLiteral("超级链接框1"));
    link1->setGeometry(240, 0, 112, 32);

    // Never added to a menu bar: it serves only as the list's pop-up.
    menu_ = new QMenu(QStringLiteral("c"), this);
    menu_->setObjectName(QStringLiteral("c"));
    menu_->setAccessibleName(QStringLiteral("歌曲列表菜单"));
    QAction* copyNameAndSinger = menu_->addAction(QStringLiteral("复制歌曲名/歌手"));
    QAction* copyAddress = menu_->addAction(QStringLiteral("复制歌曲地址"));
    QAction* clearAll = menu_->addAction(QStringLiteral("全部清空"));
    menu_->addSeparator();
    QAction* copyAll = menu_->addAction(QStringLiteral("复制全部"));
    QAction* saveList = menu_->addAction(QStringLiteral("保存列表…"));
    menuActions_ = {copyNameAndSinger, copyAddress, clearAll, copyAll, saveList};
    // The item only shows the key: its enabled state is set at each right click, so the
    // window's own shortcut takes the key, and the command itself skips an empty list.
    const QKeySequence save(Qt::CTRL | Qt::Key_S);
    saveList->setShortcut(save);
    saveList->setShortcutContext(Qt::WidgetShortcut);
    saveShortcut_ = new QShortcut(save, this);

    auto* status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("状态条1"));
    status->setSizeGripEnabled(false);
    status->setAccessibleName(QStringLiteral("状态栏"));
    statusPart_ = new QLabel(status);
    statusPart_->setTextFormat(Qt::PlainText);  // fetched song names are never markup
    statusPart_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // Named by its text, so that a screen reader hears each new status.
    statusPart_->setAccessibleDescription(QStringLiteral("获取的进度和歌曲总数"));
    status->addPermanentWidget(statusPart_, 1);
    setStatusBar(status);

    button_ = new QPushButton(QStringLiteral("获取"), client);
    button_->setObjectName(QStringLiteral("按钮1"));
    button_->setGeometry(152, 5, 72, 25);
    button_->setAutoDefault(false);
    button_->setDefault(false);
    button_->setAccessibleName(QStringLiteral("获取"));
    button_->setAccessibleDescription(QStringLiteral("获取这个 QQ 号码的空间音乐列表"));

    editBox_ = new QLineEdit(Latin1(kInitialQqNumber), client);
    editBox_->setObjectName(QStringLiteral("编辑框1"));
    editBox_->setGeometry(34, 5, 104, 24);
    editBox_->installEventFilter(new TypedDigitsFilter(editBox_));
    editBox_->installEventFilter(this);
    editBox_->setAccessibleName(QStringLiteral("QQ 号码"));
    editBox_->setAccessibleDescription(QStringLiteral("要获取其空间音乐列表的 QQ 号码"));

    auto* label = new QLabel(QStringLiteral("QQ:"), client);
    label->setObjectName(QStringLiteral("标签1"));
    label->setGeometry(13, 4, 30, 31);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QPalette labelPalette = label->palette();
    labelPalette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(labelPalette);
    label->setBuddy(editBox_);  // tells assistive technology which box "QQ:" names

    list_ = new SongList(store_, client);
    list_->setObjectName(QStringLiteral("超级列表框1"));
    list_->setGeometry(5, 39, 475, 225);
    list_->setAccessibleName(QStringLiteral("歌曲列表"));
    list_->setAccessibleDescription(
        QStringLiteral("每行一首歌：歌曲名/歌手和歌曲地址。菜单键或 Shift+F10 打开复制菜单"));

    // The label was created after the edit box and would cover its left edge.
    editBox_->raise();

    setTabOrder(list_, editBox_);
    setTabOrder(editBox_, button_);
    list_->setFocus();

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    setFixedSize(kClientSize);
    CentreOnScreen();
    storeUi_ = new StoreUi(*this, store_);
}

QAction* MainWindow::menuAction(MenuItem item) const {
    const auto index = static_cast<std::size_t>(item);
    return index < menuActions_.size() ? menuActions_[index] : nullptr;
}

void MainWindow::ShowStoreChanges() {
    storeUi_->ShowNow();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // A pop-up only borrows the focus: getting it back is no new focus.
    if (watched == editBox_ && event->type() == QEvent::FocusIn &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
        emit editBoxFocusGained();
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::showEvent(QShowEvent* event) {
    // Again on the first show, when the frame may be known: the outer rectangle is centred.
    if (!shownBefore_) {
        shownBefore_ = true;
        CentreOnScreen();
    }
    QMainWindow::showEvent(event);
    // The window never changes size, and neither does the status part: fixed, a new
    // status text (one per song during a fetch) no longer lays out the window again.
    statusPart_->setFixedSize(statusPart_->size());
}

void MainWindow::CentreOnScreen() {
    const QRect screenArea = screen()->geometry();
    const QSize outer = frameGeometry().size();
    move(screenArea.x() + (screenArea.width() - outer.width()) / 2,
         screenArea.y() + (screenArea.height() - outer.height()) / 2);
}

}  // namespace kavuro
