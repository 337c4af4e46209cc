#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "media/MediaSend.h"
#include "media/Upload.h"
#include "platform/GbkLiteral.h"
#include "support/PatternBytes.h"
#include "support/SimSession.h"

namespace zelmo::media {
namespace {

class UploadTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(m_rig.LogIn(), ""); }

    std::string Write(const std::string& name, const std::string& bytes) {
        std::string path = m_dir.Path() + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    UploadResult Upload(const std::string& path, SendAs send_as) {
        return UploadMedia(m_rig.Link(), m_rig.State(), path, Alice(), send_as, m_counter);
    }
    protocol::SendAnswer Send(const UploadedMedia& media) {
        // 17 digits, as the sender's ids.
        return SendUploadedMedia(m_rig.Link(), m_rig.State(), Alice(), media,
                                 std::to_string(m_clock.UnixMs() * 10000 + ++m_sends));
    }
    std::string Alice() { return m_rig.Sim().UserNameOf("alice"); }

    interop::SimSession m_rig{sim::Era::Late2018};
    test::TempDir m_dir;
    platform::SystemClock m_clock;
    UploadCounter m_counter;
    int m_sends = 0;
};

TEST_F(UploadTest, PicturesVideosAndStickersGoUpInChunksAndOutByTheirMediaId) {
    const struct {
        std::string name;
        std::size_t size;
        SendAs send_as;
        std::string endpoint;
        std::size_t chunks;
    } cases[] = {
        {"photo.jpg", 700000, SendAs::Picture, "webwxsendmsgimg", 2},
        {"clip.mp4", 1048576, SendAs::Video, "webwxsendvideomsg", 2},
        {"smile.gif", 3000, SendAs::Emoticon, "webwxsendemoticon", 1},
    };
    std::uint32_t seed = 1;
    for (const auto& one : cases) {
        const std::string bytes = test::PatternBytes(one.size, seed++);
        const UploadResult result = Upload(Write(one.name, bytes), one.send_as);
        ASSERT_TRUE(result.media) << result.error << interop::ViolationText(m_rig.Sim());
        EXPECT_EQ(result.media->name, one.name);
        EXPECT_EQ(result.media->size, one.size);
        EXPECT_TRUE(m_rig.Sim().UploadedBytes(result.media->media_id) == bytes) << one.name;
        EXPECT_EQ(Send(*result.media).ret, "0") << one.name;
    }
    const std::vector<sim::UploadRecord> uploads = m_rig.Sim().Uploads();
    const std::vector<sim::MediaSendRecord> sends = m_rig.Sim().MediaSends();
    ASSERT_EQ(uploads.size(), 3u);
    ASSERT_EQ(sends.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(uploads[i].chunks, cases[i].chunks);
        EXPECT_EQ(uploads[i].chunks_received, cases[i].chunks);
        EXPECT_EQ(uploads[i].to, Alice());
        EXPECT_EQ(uploads[i].bytes_md5, uploads[i].file_md5);
        EXPECT_FALSE(uploads[i].checked);
        EXPECT_EQ(sends[i].endpoint, cases[i].endpoint);
        EXPECT_EQ(sends[i].media_id, uploads[i].media_id);
        EXPECT_EQ(sends[i].to, Alice());
        EXPECT_EQ(sends[i].file_name, cases[i].name);
    }
    EXPECT_EQ(uploads[0].media_type, "pic");
    EXPECT_EQ(uploads[1].media_type, "video");
    EXPECT_EQ(uploads[2].media_type, "doc");
    EXPECT_EQ(uploads[0].type, "image/jpeg");
    EXPECT_TRUE(m_rig.Sim().Violations().empty()) << interop::ViolationText(m_rig.Sim());
}

TEST_F(UploadTest, ALargeFileIsCheckedFirstSentWithItsSignatureAndNeverUploadedTwice) {
    const std::string name = "报价 <A&B>.pdf";
    const std::string bytes = test::PatternBytes(30 * MIB + 12345, 7);
    const std::string path = Write(name, bytes);
    const UploadResult result = Upload(path, SendAs::File);
    ASSERT_TRUE(result.media) << result.error << interop::ViolationText(m_rig.Sim());
    EXPECT_FALSE(result.media->signature.empty());
    EXPECT_EQ(result.media->extension, "pdf");
    EXPECT_EQ(m_rig.Sim().CountRequests("webwxcheckupload"), 1u);
    const std::size_t chunk_requests = m_rig.Sim().CountRequests("webwxuploadmedia");
    EXPECT_EQ(chunk_requests, 61u);
    const std::vector<sim::UploadRecord> uploads = m_rig.Sim().Uploads();
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_TRUE(uploads[0].checked);
    EXPECT_EQ(uploads[0].bytes_md5, uploads[0].file_md5);
    EXPECT_EQ(uploads[0].media_type, "doc");
    EXPECT_TRUE(m_rig.Sim().UploadedBytes(result.media->media_id) == bytes);

    EXPECT_EQ(Send(*result.media).ret, "0");
    const std::vector<sim::MediaSendRecord> sends = m_rig.Sim().MediaSends();
    ASSERT_EQ(sends.size(), 1u);
    EXPECT_EQ(sends[0].endpoint, "webwxsendappmsg");
    EXPECT_EQ(sends[0].type, 6);
    EXPECT_EQ(sends[0].signature, result.media->signature);
    EXPECT_EQ(sends[0].content,
              "<appmsg appid='wxeb7ec651dd0aefa9' sdkver=''><title>报价 &lt;A&amp;B&gt;.pdf</title>"
              "<des></des><action></action><type>6</type><content></content><url></url><lowurl>"
              "</lowurl><appattach><totallen>" +
                  std::to_string(bytes.size()) + "</totallen><attachid>" + result.media->media_id +
                  "</attachid><fileext>pdf</fileext></appattach><extinfo></extinfo></appmsg>");

    // The service has it now: the check finds it and nothing goes up again.
    const UploadResult again = Upload(path, SendAs::File);
    ASSERT_TRUE(again.media) << again.error;
    EXPECT_EQ(again.media->media_id, result.media->media_id);
    EXPECT_EQ(m_rig.Sim().CountRequests("webwxuploadmedia"), chunk_requests);
    EXPECT_TRUE(m_rig.Sim().Violations().empty()) << interop::ViolationText(m_rig.Sim());
}

TEST_F(UploadTest, RefusalsComeBeforeAnyRequestAndAFailingChunkSaysWhichAndWhy) {
    const std::size_t before = m_rig.Sim().Requests().size();
    UploadResult result = Upload(m_dir.Path() + "/missing.jpg", SendAs::Picture);
    EXPECT_FALSE(result.media);
    EXPECT_NE(result.error.find("No such file or directory"), std::string::npos) << result.error;
    EXPECT_FALSE(Upload(Write("empty.pdf", ""), SendAs::File).media);
    EXPECT_FALSE(Upload(m_dir.Path(), SendAs::File).media);
    const std::string big = Write("big.jpg", "");
    std::filesystem::resize_file(big, 20 * MIB + 1);
    result = Upload(big, SendAs::Picture);
    EXPECT_EQ(result.error, platform::Gbk("图片超过20MB，未发送"));
    EXPECT_EQ(m_rig.Sim().Requests().size(), before);
    // The same bytes may go out as a file.
    EXPECT_EQ(CheckMediaFile(big, SendAs::File), "");

    m_rig.Sim().FailUploadChunk(1, -1);
    result = Upload(Write("three.pdf", test::PatternBytes(3 * UPLOAD_CHUNK_BYTES - 10, 3)),
                    SendAs::File);
    EXPECT_FALSE(result.media);
    EXPECT_EQ(result.error, platform::Gbk("第2/3块上传失败(Ret -1)"));
    EXPECT_EQ(m_rig.Sim().CountRequests("webwxuploadmedia"), 2u);
    ASSERT_EQ(m_rig.Sim().Uploads().size(), 1u);
    EXPECT_TRUE(m_rig.Sim().Uploads()[0].failed);

    m_rig.Sim().SetFault("webwxuploadmedia", sim::Fault{sim::FaultKind::Http500});
    result = Upload(Write("one.png", test::PatternBytes(1000, 4)), SendAs::Picture);
    EXPECT_EQ(result.error, platform::Gbk("第1/1块上传失败(HTTP 500)"));
    EXPECT_TRUE(m_rig.Sim().MediaSends().empty());
    EXPECT_TRUE(m_rig.Sim().Violations().empty()) << interop::ViolationText(m_rig.Sim());
}

}  // namespace
}  // namespace zelmo::media
