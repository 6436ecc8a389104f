#pragma once
// The one place where window code turns the core's GBK texts into Qt strings and back.

#include <QString>
#include <string_view>

#include "web/gbk.h"
#include "web/text.h"

namespace novel {

inline QString toQString(std::string_view gbk) {
    return QString::fromStdString(toUtf8(gbk));
}

inline Text toText(const QString& text) {
    return toGbk(text.toStdString());
}

}  // namespace novel
