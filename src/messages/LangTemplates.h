#pragma once

#include <string>
#include <string_view>

#include "platform/TextFile.h"

namespace zelmo::messages {

// A return_a of exactly this text means the empty text.
inline constexpr std::string_view NULL_TEXT = "[null]";

// The texts of the learning and function-list answers, from "config/lang.ini" (GBK).
struct LangTemplates {
    std::string format_a;       // question marker, "问："
    std::string format_b;       // answer marker, "答："
    std::string return_text;    // key "return": the reply after learning
    std::string function_key;   // the learning command shown in the function list
    std::string function_info;  // its description
    std::string return_a;       // head of the function list; "[null]" reads as empty
    std::string return_c;       // one command line of the function list
};

// Reads the seven keys with their defaults (a missing file gives every default; a UTF-8
// file is read as its GBK conversion; the file is never written).
LangTemplates LoadLangTemplates(std::string_view path);

// The same, and what the read found for the start-up to report.
struct LangTemplatesFile {
    LangTemplates templates;
    platform::TextFileReport report;
};
LangTemplatesFile LoadLangTemplatesFile(std::string_view path);

}  // namespace zelmo::messages
