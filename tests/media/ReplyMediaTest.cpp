#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>

#include "media/MediaNames.h"
#include "media/ReplyMedia.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "support/TestSupport.h"

namespace zelmo::media {
namespace {

using platform::Gbk;

TEST(ReplyMediaTest, OnlyTheExactFormsWithAPlainNameAreMedia) {
    const auto parsed = [](const std::string& reply) { return ParseReplyMedia(reply); };
    const std::optional<ReplyMedia> picture = parsed(Gbk("[图片=价目表.jpg]"));
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->kind, ReplyMediaKind::Picture);
    EXPECT_EQ(picture->name, Gbk("价目表.jpg"));
    EXPECT_EQ(parsed(Gbk("[视频=a.mp4]"))->kind, ReplyMediaKind::Video);
    EXPECT_EQ(parsed(Gbk("[文件=a b.pdf]"))->kind, ReplyMediaKind::File);
    // "淺" ends in the byte of "\": it is a character, not a folder.
    EXPECT_EQ(parsed(Gbk("[图片=淺.png]"))->name, Gbk("淺.png"));

    const std::string not_media[] = {
        Gbk("[图片=../secret.jpg]"),
        Gbk("[图片=a/b.jpg]"),
        Gbk("[图片=a\\b.jpg]"),
        Gbk("[图片=.hidden]"),
        Gbk("[图片=]"),
        Gbk("看[图片=a.jpg]"),
        Gbk("[图片=a.jpg] "),
        Gbk("[图片=a\tb.jpg]"),
        Gbk("[音乐=a.mp3]"),
        Gbk("[图片=") + std::string(101, 'a') + "]",
        Gbk("[图片=a.jpg"),
        Gbk("[图片=x..y.jpg]"),
    };
    for (const std::string& reply : not_media) {
        EXPECT_FALSE(parsed(reply)) << reply;
    }
}

TEST(ReplyMediaTest, TheFileIsFoundInTheRepliesFolderOnlyAndSentByItsKind) {
    const test::TempDir dir;
    ASSERT_TRUE(platform::MakeDirectories(RepliesFolder(dir.Path())));
    std::ofstream(RepliesFolder(dir.Path()) + "/价目表.jpg") << "jpeg";
    std::ofstream(dir.Path() + "/outside.jpg") << "x";
    ASSERT_TRUE(platform::MakeDirectories(RepliesFolder(dir.Path()) + "/folder.jpg"));

    EXPECT_EQ(ResolveReplyFile(dir.Path(), {ReplyMediaKind::Picture, Gbk("价目表.jpg")}),
              RepliesFolder(dir.Path()) + "/价目表.jpg");
    EXPECT_EQ(ResolveReplyFile(dir.Path(), {ReplyMediaKind::Picture, "missing.jpg"}), "");
    EXPECT_EQ(ResolveReplyFile(dir.Path(), {ReplyMediaKind::Picture, "folder.jpg"}), "");
    EXPECT_EQ(ResolveReplyFile(dir.Path(), {ReplyMediaKind::Picture, "../outside.jpg"}), "");

    EXPECT_EQ(SendAsFor(ReplyMediaKind::Picture, "a.JPG"), SendAs::Picture);
    EXPECT_EQ(SendAsFor(ReplyMediaKind::Picture, "a.gif"), SendAs::Emoticon);
    EXPECT_EQ(SendAsFor(ReplyMediaKind::Picture, "a.psd"), SendAs::File);
    EXPECT_EQ(SendAsFor(ReplyMediaKind::Video, "a.mp4"), SendAs::Video);
    EXPECT_EQ(SendAsFor(ReplyMediaKind::Video, "a.avi"), SendAs::File);
    EXPECT_EQ(SendAsFor(ReplyMediaKind::File, "a.jpg"), SendAs::File);
}

// The editor's button: whatever the picked file is called, the copy gets a name the reply
// form takes and that names that very copy; a name taken by another file is not overwritten.
TEST(ReplyMediaTest, APickedFileIsCopiedUnderAPlainNameThatTheReplyFindsAgain) {
    const test::TempDir dir;
    const std::string account = dir.Path() + "/account";
    const std::string outside = dir.Path() + "/picked";
    ASSERT_TRUE(platform::MakeDirectories(outside));
    const std::string names[] = {
        "价目表.jpg", ".hidden.png", "a\x01b.gif", "表情😀.png", std::string(150, 'n') + ".pdf",
        "clip.mp4"};
    for (const std::string& name : names) {
        const std::string source = outside + "/" + name;
        std::ofstream(source) << "bytes of " << name;
        const CopiedReplyFile copied = CopyIntoReplies(account, source);
        ASSERT_EQ(copied.error, "") << name;
        const std::string reply = ReplyMediaText(ReplyKindForFile(copied.name), copied.name);
        const std::optional<ReplyMedia> parsed = ParseReplyMedia(reply);
        ASSERT_TRUE(parsed) << name;
        const std::string found = ResolveReplyFile(account, *parsed);
        EXPECT_EQ(platform::ReadFile(found), "bytes of " + name) << name;
        EXPECT_EQ(found.rfind(RepliesFolder(account) + "/", 0), 0u) << found;
        EXPECT_EQ(ExtensionOf(copied.name), ExtensionOf(name)) << name;
    }
    EXPECT_EQ(CopyIntoReplies(account, outside + "/价目表.jpg").name, Gbk("价目表.jpg"));
    EXPECT_EQ(ParseReplyMedia(ReplyMediaText(ReplyKindForFile("clip.mp4"), "clip.mp4"))->kind,
              ReplyMediaKind::Video);
    EXPECT_EQ(ReplyKindForFile(".pdf"), ReplyMediaKind::File);

    // Another file of a taken name gets a number; the one in the folder already is itself.
    ASSERT_TRUE(platform::MakeDirectories(outside + "/other"));
    std::ofstream(outside + "/other/价目表.jpg") << "new price list";
    const CopiedReplyFile second = CopyIntoReplies(account, outside + "/other/价目表.jpg");
    EXPECT_EQ(second.name, Gbk("价目表(2).jpg"));
    EXPECT_EQ(platform::ReadFile(RepliesFolder(account) + "/价目表.jpg"), "bytes of 价目表.jpg");
    EXPECT_EQ(CopyIntoReplies(account, RepliesFolder(account) + "/价目表(2).jpg").name,
              Gbk("价目表(2).jpg"));
    EXPECT_NE(CopyIntoReplies(account, outside + "/missing.jpg").error, "");
}

}  // namespace
}  // namespace zelmo::media
