#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "app/Robot.h"
#include "app/WindowActions.h"
#include "media/MediaKind.h"
#include "messages/MediaReplies.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "support/OnlineRobot.h"
#include "support/PatternBytes.h"
#include "support/RecordingObserver.h"

namespace zelmo::test {
namespace {

using namespace std::chrono_literals;
using platform::Gbk;

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

sim::MessageSpec FromAlice(sim::MessageKind kind, std::string text = {}) {
    sim::MessageSpec message;
    message.kind = kind;
    message.from = "alice";
    message.text = std::move(text);
    return message;
}

// The price list picture spans three chunks; the knowledge base answers 价目表 with it, and
// two more keywords with a missing file and a name that leaves the folder.
OnlineRobot::Options ReplyAccount() {
    OnlineRobot::Options options;
    options.prepare = [](const std::string& account_dir) {
        platform::MakeDirectories(account_dir + "/replies");
        Write(account_dir + "/replies/价目表.jpg",
              PatternBytes(2 * media::UPLOAD_CHUNK_BYTES + 1000, 7));
        platform::WriteFileAtomic(account_dir + "/config/reply.ini",
                                  Gbk("价目表\r\n[图片=价目表.jpg]\r\n\r\n菜单\r\n[图片=menu.jpg]"
                                      "\r\n\r\n外面\r\n[图片=../secret.jpg]"));
    };
    return options;
}

TEST(MediaThroughRobotTest, ReceivedMediaIsKeptByTheSettingAndTheRowAndHookLearnThePath) {
    OnlineRobot::Options options;
    options.era = sim::Era::Late2018;  // files carry the MediaId their download needs
    // Outlive the robot, whose download threads run the hook.
    std::mutex mutex;
    std::vector<std::pair<std::string, std::string>> hooked;
    OnlineRobot online(options);
    ASSERT_EQ(online.Start(), "");
    app::Robot& robot = online.Robot();
    robot.Media().OnSaved([&](std::string_view msg_id, std::string_view path) {
        const std::lock_guard lock(mutex);
        hooked.emplace_back(msg_id, path);
    });
    robot.Settings().Update([](config::Settings& settings) { settings.媒体下载 = "2"; });

    const std::vector<sim::MessageKind> kinds = {sim::MessageKind::Picture, sim::MessageKind::Voice,
                                                 sim::MessageKind::Video, sim::MessageKind::File};
    for (const sim::MessageKind kind : kinds) {
        online.Sim().DeliverMessage(
            FromAlice(kind, kind == sim::MessageKind::File ? "../../报价单.pdf" : std::string()));
    }
    ASSERT_TRUE(online.Screen().WaitForCall("LogRowFile", 20s, kinds.size()));
    const std::vector<std::string> files = online.Screen().TextsOf("LogRowFile");
    for (const std::string& row : files) {
        const std::string msg_id = row.substr(0, row.find('\t'));
        const std::string path = row.substr(row.find('\t') + 1);
        EXPECT_EQ(path.rfind(online.AccountDir() + "/", 0), 0u) << path;
        EXPECT_EQ(path.find(".."), std::string::npos) << path;
        const std::string served = online.Sim().MediaOf(msg_id);
        ASSERT_FALSE(served.empty()) << msg_id;
        EXPECT_TRUE(platform::ReadFile(path) == served) << path;
    }
    {
        const std::lock_guard lock(mutex);
        ASSERT_EQ(hooked.size(), kinds.size());
    }

    // Mode 1 keeps pictures and voice only.
    robot.Settings().Update([](config::Settings& settings) { settings.媒体下载 = "1"; });
    online.Sim().DeliverMessage(FromAlice(sim::MessageKind::Video));
    online.Sim().DeliverMessage(FromAlice(sim::MessageKind::Voice));
    ASSERT_TRUE(online.Screen().WaitForCall("LogRowFile", 20s, kinds.size() + 1));
    EXPECT_EQ(robot.Media().Pending(), 0u);
    EXPECT_EQ(online.Screen().CountOf("LogRowFile"), kinds.size() + 1);
    EXPECT_EQ(online.Sim().CountRequests("webwxgetvideo"), 1u);
}

// A knowledge-base reply that names a picture sends it: uploaded in chunks, sent by its
// MediaId through the paced sender, the observers told with the file; sent again without a
// second hash. A missing file is a row, a name outside the folder is sent as the text it is.
TEST(MediaThroughRobotTest, AKnowledgeBasePictureReplyIsUploadedOnceAndSent) {
    RecordingObserver observer;  // outlives the robot, whose threads tell it
    OnlineRobot online(ReplyAccount());
    ASSERT_EQ(online.Start(), "");
    app::Robot& robot = online.Robot();
    robot.Observers().Add(observer);
    const std::string account = online.AccountDir();

    online.Sim().DeliverMessage(FromAlice(sim::MessageKind::Text, "价目表"));
    ASSERT_TRUE(online.Sim().WaitForMediaSends(1, 20s));
    online.Sim().DeliverMessage(FromAlice(sim::MessageKind::Text, "价目表"));
    ASSERT_TRUE(online.Sim().WaitForMediaSends(2, 20s));
    const std::vector<sim::UploadRecord> uploads = online.Sim().Uploads();
    ASSERT_EQ(uploads.size(), 2u);
    const std::string bytes = platform::ReadFile(account + "/replies/价目表.jpg");
    for (const sim::UploadRecord& upload : uploads) {
        EXPECT_EQ(upload.chunks, 3u);
        EXPECT_EQ(upload.file_md5, upload.bytes_md5);
        EXPECT_TRUE(online.Sim().UploadedBytes(upload.media_id) == bytes);
    }
    const std::vector<sim::MediaSendRecord> sends = online.Sim().MediaSends();
    EXPECT_EQ(sends[0].endpoint, "webwxsendmsgimg");
    EXPECT_EQ(sends[0].to, online.Sim().UserNameOf("alice"));
    EXPECT_EQ(sends[1].media_id, uploads[1].media_id);

    online.Sim().DeliverMessage(FromAlice(sim::MessageKind::Text, "菜单"));
    online.Sim().DeliverMessage(FromAlice(sim::MessageKind::Text, "外面"));
    ASSERT_TRUE(online.Sim().WaitForSentMessages(1, 20s));
    EXPECT_EQ(online.Sim().SentMessages()[0].content, "[图片=../secret.jpg]");
    EXPECT_TRUE(online.Screen().WaitUntil(
        [](const std::vector<StubScreen::Call>& calls) {
            for (const StubScreen::Call& call : calls) {
                if (call.name == "AddLogRow" && call.text.find("menu.jpg") != std::string::npos &&
                    call.text.find(Gbk("未发送")) != std::string::npos) {
                    return true;
                }
            }
            return false;
        },
        10s));
    EXPECT_EQ(online.Sim().MediaSends().size(), 2u);
    const std::vector<RecordingObserver::Sent> told = observer.SentEvents();
    ASSERT_GE(told.size(), 3u);
    EXPECT_TRUE(told[0].sent);
    EXPECT_EQ(told[0].text, Gbk("[图片=价目表.jpg]"));
    EXPECT_EQ(told[0].file, account + "/replies/价目表.jpg");
    EXPECT_EQ(told[0].local_id, sends[0].local_id);
    EXPECT_TRUE(online.Sim().Violations().empty());
}

// The chat window's file, a mass-send picture and a 30 MB file through check-upload; an
// oversize picture and a missing file are refused before any request; a failing chunk and a
// send whose answer is lost fail and say so, and nothing is uploaded or sent twice.
TEST(MediaThroughRobotTest, ChatAndMassFilesGoOutAndFailuresAreRowsNeverRepeats) {
    RecordingObserver observer;  // outlives the robot, whose threads tell it
    OnlineRobot online(ReplyAccount());
    ASSERT_EQ(online.Start(), "");
    app::Robot& robot = online.Robot();
    robot.Observers().Add(observer);
    const std::string alice = online.Sim().UserNameOf("alice");
    const TempDir dir;

    const std::string big = dir.Path() + "/年报.pdf";
    Write(big, PatternBytes(30u << 20, 3));
    app::SendChatFile(robot, alice, big);
    const messages::SendReceipt mass =
        messages::SendTextOrFile(robot.Sender(), online.AccountDir(), alice,
                                 Gbk("[图片=价目表.jpg]"), {messages::SendOrigin::Mass, {}});
    EXPECT_EQ(mass.ret, "0");
    ASSERT_TRUE(online.Sim().WaitForMediaSends(2, 30s));
    std::vector<sim::UploadRecord> uploads = online.Sim().Uploads();
    ASSERT_EQ(uploads.size(), 2u);
    EXPECT_TRUE(uploads[0].checked);
    EXPECT_EQ(uploads[0].size, 30u << 20);
    std::vector<sim::MediaSendRecord> sends = online.Sim().MediaSends();
    EXPECT_EQ(sends[0].endpoint, "webwxsendappmsg");
    EXPECT_EQ(sends[1].endpoint, "webwxsendmsgimg");

    const std::string huge = dir.Path() + "/huge.jpg";
    Write(huge, "");
    std::filesystem::resize_file(huge, media::MAX_PICTURE_BYTES + 1);
    const messages::SendReceipt refused =
        robot.Sender().SendFile(alice, {huge, media::SendAs::Picture}, {});
    EXPECT_NE(refused.ret, "0");
    EXPECT_NE(
        robot.Sender().SendFile(alice, {dir.Path() + "/gone.jpg", media::SendAs::Picture}, {}).ret,
        "0");
    EXPECT_EQ(online.Sim().Uploads().size(), 2u);

    online.Sim().FailUploadChunk(1, -1);
    EXPECT_NE(messages::SendTextOrFile(robot.Sender(), online.AccountDir(), alice,
                                       Gbk("[图片=价目表.jpg]"), {})
                  .ret,
              "0");
    online.Sim().SetFault("webwxsendmsgimg", sim::Fault{sim::FaultKind::Empty200});
    EXPECT_EQ(messages::SendTextOrFile(robot.Sender(), online.AccountDir(), alice,
                                       Gbk("[图片=价目表.jpg]"), {})
                  .ret,
              "");
    uploads = online.Sim().Uploads();
    ASSERT_EQ(uploads.size(), 4u);
    EXPECT_TRUE(uploads[2].failed);
    EXPECT_EQ(online.Sim().CountRequests("webwxsendmsgimg"), 2u);

    const std::vector<RecordingObserver::Sent> told = observer.SentEvents();
    ASSERT_EQ(told.size(), 6u);
    EXPECT_EQ(told[0].origin, messages::SendOrigin::Chat);
    EXPECT_EQ(told[1].origin, messages::SendOrigin::Mass);
    for (std::size_t i = 2; i < told.size(); ++i) {
        EXPECT_FALSE(told[i].sent) << i;
        EXPECT_NE(told[i].reason, "") << i;
    }
    EXPECT_NE(told[2].reason.find("20"), std::string::npos) << told[2].reason;
    EXPECT_NE(told[4].reason.find(Gbk("第2/3块上传失败")), std::string::npos) << told[4].reason;

    // Refused as too frequent: the same upload and ids again after the pause, sent once.
    online.Sim().SetFault("webwxsendmsgimg", sim::Fault{});
    online.Sim().RefuseSends(1205, 2);
    EXPECT_EQ(messages::SendTextOrFile(robot.Sender(), online.AccountDir(), alice,
                                       Gbk("[图片=价目表.jpg]"), {})
                  .ret,
              "0");
    EXPECT_EQ(online.Sim().Uploads().size(), 5u);
    sends = online.Sim().MediaSends();
    ASSERT_EQ(sends.size(), 5u);
    for (std::size_t i = 2; i < 5; ++i) {
        EXPECT_EQ(sends[i].media_id, sends[4].media_id);
        EXPECT_EQ(sends[i].client_msg_id, sends[4].client_msg_id);
    }
}

}  // namespace
}  // namespace zelmo::test
