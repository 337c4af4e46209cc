#include "messages/LangTemplates.h"

#include "platform/GbkLiteral.h"
#include "platform/IniFile.h"
#include "platform/TextFile.h"

namespace zelmo::messages {

LangTemplates LoadLangTemplates(std::string_view path) {
    return LoadLangTemplatesFile(path).templates;
}

LangTemplatesFile LoadLangTemplatesFile(std::string_view path) {
    platform::TextFile file = platform::ReadTextFile(path);
    const std::string& text = file.text;
    const auto item = [&text](std::string_view section, std::string_view key,
                              std::string_view utf8_default) {
        return platform::IniTextItem(text, section, key, platform::Gbk(utf8_default));
    };
    LangTemplates templates;
    templates.format_a = item("learn", "format_a", "问：");
    templates.format_b = item("learn", "format_b", "答：");
    templates.return_text = item("learn", "return", "学习成功！对我说[sp1]试试吧！");
    templates.function_key = item("learn", "function_key", "问：XX 答：XX");
    templates.function_info = item("learn", "function_info", "教[mzname]说话吧~");
    templates.return_a =
        item("function", "return_a", "欢迎使用[mzname]机器人！[enter]以下是支持命令：[enter]");
    templates.return_c = item("function", "return_c", "回复：[sp1][enter]功能：[sp2][enter]");
    if (templates.return_a == NULL_TEXT) {
        templates.return_a.clear();
    }
    return LangTemplatesFile{std::move(templates), std::move(file.report)};
}

}  // namespace zelmo::messages
