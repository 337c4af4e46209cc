#include "config/MinimiseNotice.h"

#include "app/GbkLiteral.h"
#include "platform/IniFile.h"

namespace zelmo::config {

namespace {

constexpr std::string_view SECTION = "其它";
constexpr std::string_view KEY = "最小化提示";

}  // namespace

bool MinimiseNoticeShown(std::string_view path) {
    return platform::ReadIniBool(path, app::Gbk(SECTION), app::Gbk(KEY), false);
}

bool SetMinimiseNoticeShown(std::string_view path) {
    return platform::WriteIniBool(path, app::Gbk(SECTION), app::Gbk(KEY), true);
}

}  // namespace zelmo::config
