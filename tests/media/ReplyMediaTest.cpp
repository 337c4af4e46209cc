#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>

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

}  // namespace
}  // namespace zelmo::media
