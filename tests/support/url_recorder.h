// UrlRecorder: stands in for the browser. While it lives, every address of its scheme
// that the program opens is recorded instead of opened.
#pragma once

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

namespace kavuro::test {

class UrlRecorder final : public QObject {
    Q_OBJECT
public:
    explicit UrlRecorder(const QString& scheme) : scheme_(scheme) {
        QDesktopServices::setUrlHandler(scheme_, this, "open");
    }
    ~UrlRecorder() override { QDesktopServices::unsetUrlHandler(scheme_); }

    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened.append(url); }

private:
    QString scheme_;
};

}  // namespace kavuro::test
