#pragma once

#include <string>
#include <string_view>

namespace zelmo::platform {

// The program keeps GBK texts; source literals are written in UTF-8 and pass through here.
std::string Gbk(std::string_view utf8);

}  // namespace zelmo::platform
