#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "messages/LangTemplates.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "support/TestSupport.h"

namespace zelmo::messages {
namespace {

using platform::Gbk;

TEST(LangTemplatesTest, AMissingFileGivesEveryDefault) {
    const LangTemplates templates = LoadLangTemplates("/nonexistent/lang.ini");
    EXPECT_EQ(templates.format_a, Gbk("问："));
    EXPECT_EQ(templates.format_b, Gbk("答："));
    EXPECT_EQ(templates.return_text, Gbk("学习成功！对我说[sp1]试试吧！"));
    EXPECT_EQ(templates.function_key, Gbk("问：XX 答：XX"));
    EXPECT_EQ(templates.function_info, Gbk("教[mzname]说话吧~"));
    EXPECT_EQ(templates.return_a, Gbk("欢迎使用[mzname]机器人！[enter]以下是支持命令：[enter]"));
    EXPECT_EQ(templates.return_c, Gbk("回复：[sp1][enter]功能：[sp2][enter]"));
}

TEST(LangTemplatesTest, FileValuesReplaceDefaultsKeyByKeyAndNullEmptiesTheHead) {
    test::TempDir dir;
    const std::string path = dir.Path() + "/lang.ini";
    platform::WriteFileAtomic(path, Gbk("[learn]\r\nformat_a=Q:\r\nreturn=记住了[sp1]\r\n"
                                        "[function]\r\nreturn_a=[null]\r\n"));
    const LangTemplates templates = LoadLangTemplates(path);
    EXPECT_EQ(templates.format_a, "Q:");
    EXPECT_EQ(templates.format_b, Gbk("答："));
    EXPECT_EQ(templates.return_text, Gbk("记住了[sp1]"));
    EXPECT_EQ(templates.return_a, "");
    EXPECT_EQ(templates.return_c, Gbk("回复：[sp1][enter]功能：[sp2][enter]"));

    // The same file saved as UTF-8 reads the same, said once; it is never written.
    const std::string utf8 =
        "[learn]\r\nformat_a=Q:\r\nreturn=\xE8\xAE\xB0\xE4\xBD\x8F"
        "\xE4\xBA\x86[sp1]\r\n[function]\r\nreturn_a=[null]\r\n";
    platform::WriteFileAtomic(path, utf8);
    const LangTemplatesFile file = LoadLangTemplatesFile(path);
    EXPECT_EQ(file.templates.return_text, Gbk("记住了[sp1]"));
    EXPECT_EQ(file.templates.format_a, "Q:");
    EXPECT_EQ(file.report.state, platform::TextFileState::Converted);
    EXPECT_EQ(file.report.backup_path, "");
    EXPECT_EQ(platform::ReadFile(path), utf8);
    EXPECT_EQ(platform::FindFiles(dir.Path(), "*"), std::vector<std::string>{"lang.ini"});
}

}  // namespace
}  // namespace zelmo::messages
