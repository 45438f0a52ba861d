// GBK Text <-> QString, at the one place where texts meet the toolkit.
#pragma once

#include <QString>

#include "text/gbk.h"
#include "text/text.h"

namespace kavuro {

inline QString ToQString(const Text& text) {
    return QString::fromStdU16String(GbkToUtf16(text));
}

inline Text ToText(const QString& text) {
    return Utf16ToGbk(text.toStdU16String());
}

}  // namespace kavuro
