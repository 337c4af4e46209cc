#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace zelmo::widgets {

// The GBK texts of the core as Qt strings, and back.
QString ToQString(std::string_view gbk);
std::string ToGbk(const QString& text);

// A window's own caption or label, written in UTF-8 in the source.
inline QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

}  // namespace zelmo::widgets
