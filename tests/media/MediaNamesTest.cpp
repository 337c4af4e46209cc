#include <gtest/gtest.h>

#include <string>

#include "media/MediaNames.h"
#include "media/ReceivedMedia.h"

namespace zelmo::media {
namespace {

// Every byte that reaches the file system as a name: no folder, no way up, nothing hidden,
// no control character, valid UTF-8, at most 100 bytes.
void ExpectHarmless(const std::string& name) {
    EXPECT_EQ(name.find('/'), std::string::npos) << name;
    EXPECT_EQ(name.find('\\'), std::string::npos) << name;
    EXPECT_EQ(name.find(".."), std::string::npos) << name;
    EXPECT_LE(name.size(), MAX_NAME_BYTES) << name;
    if (!name.empty()) {
        EXPECT_NE(name.front(), '.') << name;
    }
    for (const char c : name) {
        EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7F) << name;
    }
}

TEST(MediaNamesTest, HostileNamesFromTheServiceStayInsideTheFolder) {
    std::string long_chinese;
    for (int i = 0; i < 60; ++i) {
        long_chinese += "报";  // three bytes each
    }
    const std::string hostile[] = {
        "../../../etc/passwd",
        "/etc/shadow",
        "..\\..\\boot.ini",
        ".bashrc",
        "...",
        "a\x01\n\x7F.txt",
        "\xFF\xFE\xC3.pdf",
        " .. /x",
        long_chinese + ".pdf",
        std::string(300, 'a') + ".pdf",
    };
    for (const std::string& name : hostile) {
        ExpectHarmless(SafeFileName(name));
        const std::string saved = MediaFileName("1234567890123456789", "pdf", name);
        ExpectHarmless(saved);
        EXPECT_EQ(saved.rfind("1234567890123456789", 0), 0u) << saved;
        EXPECT_EQ(saved.substr(saved.size() - 4), ".pdf") << saved;
    }
    // The cut keeps whole characters: 33 of them fit into 100 bytes.
    EXPECT_EQ(SafeFileName(long_chinese), long_chinese.substr(0, 99));
    EXPECT_EQ(SafeFileName("../../etc/passwd"), "_._etc_passwd");
    EXPECT_EQ(SafeFileName("报价单 v2.pdf"), "报价单 v2.pdf");
    EXPECT_EQ(MediaFileName("42", "", ""), "42.bin");
    EXPECT_EQ(MediaFileName("42", "pdf", "报价单.PDF"), "42_报价单.pdf");
}

TEST(MediaNamesTest, TheExtensionComesFromTheTypeThenTheBytesThenTheName) {
    EXPECT_EQ(MediaExtension("image/png; charset=x", "\xFF\xD8\xFF", "a.gif"), "png");
    EXPECT_EQ(MediaExtension("application/octet-stream", "\xFF\xD8\xFF\xE0", "a.gif"), "jpg");
    EXPECT_EQ(MediaExtension("",
                             std::string("\0\0\0\x18"
                                         "ftypisom",
                                         12),
                             ""),
              "mp4");
    EXPECT_EQ(MediaExtension("", "ID3\x03", ""), "mp3");
    EXPECT_EQ(MediaExtension("", "%PDF-1.4", "x.doc"), "pdf");
    EXPECT_EQ(MediaExtension("text/html", "<html>", "Report.DOCX"), "docx");
    EXPECT_EQ(MediaExtension("", "??", "name.with/slash"), "");
    EXPECT_EQ(MediaExtension("", "", "x.toolongextension"), "");
}

TEST(ReceivedMediaTest, EachMediaKindIsReadFromTheRawItemAndOthersAreNot) {
    const auto item = [](std::string_view type, std::string_view rest) {
        return R"({"MsgId": "123", "FromUserName": "@a", "MsgType": )" + std::string(type) +
               R"(, "RecommendInfo": {"UserName": "", "MediaId": "nested"},)" + std::string(rest) +
               "}";
    };
    const auto kind = [](const std::string& text) {
        const auto media = ReadReceivedMedia(text);
        return media ? static_cast<int>(media->kind) : -1;
    };
    EXPECT_EQ(kind(item("3", R"("Content": "@abc")")), int(MediaKind::Picture));
    EXPECT_EQ(kind(item("34", R"("Content": "")")), int(MediaKind::Voice));
    EXPECT_EQ(kind(item("43", R"("Content": "")")), int(MediaKind::Video));
    EXPECT_EQ(kind(item("62", R"("Content": "")")), int(MediaKind::Video));
    EXPECT_EQ(kind(item("47", R"("Content": "&lt;emoji cdnurl=\"http://e/x\" /&gt;")")),
              int(MediaKind::Picture));
    // A sticker from the phone's own set has no picture to fetch.
    EXPECT_EQ(kind(item("47", R"("Content": "&lt;emoji cdnurl=\"\" /&gt;")")), -1);
    EXPECT_EQ(kind(item("49", R"("AppMsgType": 5, "MediaId": "@m")")), -1);
    EXPECT_EQ(kind(item("49", R"("AppMsgType": 6, "MediaId": "")")), -1);
    EXPECT_EQ(kind(item("1", R"("Content": "hello")")), -1);
    EXPECT_EQ(kind(R"({"MsgType": 3})"), -1);

    const auto file = ReadReceivedMedia(
        item("49", R"("FileName": "a\"b\u62a5.pdf", "FileSize": "24576", "MediaId": "@crypt_1",)"
                   R"( "AppMsgType": 6, "EncryFileName": "a%2Eb")"));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->kind, MediaKind::File);
    EXPECT_EQ(file->MsgId, "123");
    EXPECT_EQ(file->FromUserName, "@a");
    EXPECT_EQ(file->FileName, "a\"b报.pdf");
    EXPECT_EQ(file->FileSize, "24576");
    EXPECT_EQ(file->MediaId, "@crypt_1");
    EXPECT_EQ(file->EncryFileName, "a%2Eb");

    // Cut anywhere, the bytes give at most what came whole.
    const std::string whole = item("3", R"("Content": "x")");
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        const auto media = ReadReceivedMedia(whole.substr(0, cut));
        if (media) {
            EXPECT_EQ(media->MsgId, "123");
        }
    }
}

}  // namespace
}  // namespace zelmo::media
