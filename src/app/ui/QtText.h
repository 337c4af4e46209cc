#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace zelmo::app {

// The GBK texts of the core as Qt strings, and back.
QString ToQString(std::string_view gbk);
std::string ToGbk(const QString& text);

}  // namespace zelmo::app
