#include "config/MinimiseNotice.h"

#include "platform/GbkLiteral.h"
#include "platform/IniFile.h"

namespace zelmo::config {

namespace {

constexpr std::string_view SECTION = "其它";
constexpr std::string_view KEY = "最小化提示";

}  // namespace

bool MinimiseNoticeShown(std::string_view path) {
    return platform::ReadIniBool(path, platform::Gbk(SECTION), platform::Gbk(KEY), false);
}

bool SetMinimiseNoticeShown(std::string_view path) {
    return platform::WriteIniBool(path, platform::Gbk(SECTION), platform::Gbk(KEY), true);
}

}  // namespace zelmo::config
