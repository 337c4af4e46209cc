#include <gtest/gtest.h>
#include <sys/resource.h>

#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/Download.h"
#include "media/DownloadQueue.h"
#include "media/MediaNames.h"
#include "media/ReceivedMedia.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "protocol/SessionStore.h"
#include "protocol/SyncAnswer.h"
#include "sim/HttpWire.h"
#include "support/SimSession.h"

namespace zelmo::media {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr std::string_view SYNC_PATH =
    "/cgi-bin/mmwebwx-bin/webwxsync?sid={sid}&skey=%40{skey}&r={time}&skey=%40{skey}"
    "&pass_ticket={pass_ticket}";

sim::MessageSpec Message(sim::MessageKind kind, std::string text = {}) {
    sim::MessageSpec message;
    message.kind = kind;
    message.from = "alice";
    message.text = std::move(text);
    return message;
}

// Every file below `folder`, as paths relative to it.
std::vector<std::string> FilesBelow(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files.push_back(fs::relative(entry.path(), folder).string());
        }
    }
    return files;
}

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(m_rig.LogIn(), ""); }

    // Delivers the messages and reads them as the robot's next sync does, from the raw items.
    std::vector<ReceivedMedia> Receive(const std::vector<sim::MessageSpec>& messages) {
        for (const sim::MessageSpec& message : messages) {
            m_rig.Sim().DeliverMessage(message);
        }
        const protocol::SyncAnswer answer =
            protocol::ReadSyncAnswer(m_rig.PostWeb(SYNC_PATH, m_rig.Fill(protocol::SYNC_BODY)));
        std::vector<ReceivedMedia> media;
        for (const protocol::SyncItem& item : answer.messages) {
            if (std::optional<ReceivedMedia> one = ReadReceivedMedia(item.text)) {
                media.push_back(std::move(*one));
            }
        }
        EXPECT_EQ(media.size(), messages.size());
        if (answer.complete) {
            m_rig.State().sync_key = answer.sync_key;
        }
        return media;
    }

    DownloadOutcome Download(const ReceivedMedia& media, const DownloadPlace& place) {
        return DownloadMedia(m_rig.Link(), m_rig.State(), media, place);
    }

    DownloadPlace Place() const { return {m_dir.Path(), DEFAULT_MAX_DOWNLOAD_BYTES, 0}; }
    std::string MonthFolder() { return MediaFolder(m_dir.Path(), m_clock.UnixMs()); }

    interop::SimSession m_rig{sim::Era::Late2018};
    test::TempDir m_dir;
    platform::SystemClock m_clock;
};

TEST_F(DownloadTest, EachKindIsSavedByteExactWithItsExtensionAndHostileNamesStayInside) {
    const std::vector<std::string> file_names = {"报价单.pdf",      "../../../escape.pdf",
                                                 "..\\..\\win.pdf", ".hidden.pdf",
                                                 "a\x01\nb.pdf",    std::string(200, 'n') + ".pdf"};
    std::vector<sim::MessageSpec> inputs = {
        Message(sim::MessageKind::Picture), Message(sim::MessageKind::Sticker),
        Message(sim::MessageKind::Voice), Message(sim::MessageKind::Video)};
    for (const std::string& name : file_names) {
        inputs.push_back(Message(sim::MessageKind::File, name));
    }
    const std::vector<ReceivedMedia> received = Receive(inputs);
    ASSERT_EQ(received.size(), inputs.size());
    const std::string extensions[] = {"jpg", "gif", "mp3", "mp4"};
    for (std::size_t i = 0; i < received.size(); ++i) {
        const DownloadOutcome outcome = Download(received[i], Place());
        ASSERT_EQ(outcome.status, DownloadStatus::Saved) << i << " " << outcome.reason;
        const fs::path path(outcome.path);
        EXPECT_EQ(path.parent_path().string(), MonthFolder()) << outcome.path;
        EXPECT_EQ(path.extension().string(), "." + (i < 4 ? extensions[i] : std::string("pdf")));
        EXPECT_LE(path.filename().string().size(), MAX_NAME_BYTES);
        EXPECT_EQ(path.filename().string().rfind(received[i].MsgId, 0), 0u) << outcome.path;
        const std::string served = m_rig.Sim().MediaOf(received[i].MsgId);
        ASSERT_FALSE(served.empty());
        EXPECT_TRUE(platform::ReadFile(outcome.path) == served) << outcome.path;
    }
    EXPECT_EQ(fs::path(Download(received[4], Place()).path).filename().string(),
              received[4].MsgId + "_报价单.pdf");
    // Nothing but the saved files, all in the month folder.
    EXPECT_EQ(FilesBelow(m_dir.Path()).size(), received.size());

    // The video went with its range; the service honours others and gives nothing without.
    for (const sim::RecordedRequest& request : m_rig.Sim().Requests()) {
        if (request.path.ends_with("webwxgetvideo")) {
            EXPECT_EQ(sim::HeaderValue(request.headers, "Range"), "bytes=0-");
        }
    }
    const DownloadRequest video =
        MediaDownloadRequest(m_rig.Link().profile, m_rig.State(), received[3]);
    const std::string served = m_rig.Sim().MediaOf(received[3].MsgId);
    for (const auto& [range, expected] : std::vector<std::pair<std::string, std::string>>{
             {"Range: bytes=10-19", served.substr(10, 10)},
             {"Range: bytes=199990-", served.substr(199990)},
             {"", ""}}) {
        const std::string_view headers[] = {range};
        platform::RequestOptions options;
        options.cookie_header = m_rig.State().session.cookies;
        options.extra_headers = std::span(headers, range.empty() ? 0 : 1);
        platform::AnswerHead head;
        options.head = &head;
        EXPECT_TRUE(m_rig.Web().Request(video.url, options) == expected) << range;
        EXPECT_EQ(head.status, range.empty() ? 200 : 206) << range;
    }
    EXPECT_TRUE(m_rig.Sim().Violations().empty()) << interop::ViolationText(m_rig.Sim());
}

TEST_F(DownloadTest, ACapACutAFullDiskOrTooLittleSpaceLeaveNothingBehind) {
    const std::vector<ReceivedMedia> received =
        Receive({Message(sim::MessageKind::Video), Message(sim::MessageKind::Picture),
                 Message(sim::MessageKind::Voice)});
    ASSERT_EQ(received.size(), 3u);
    const ReceivedMedia& video = received[0];
    const ReceivedMedia& picture = received[1];
    const ReceivedMedia& voice = received[2];

    DownloadPlace small = Place();
    small.max_bytes = 1000;
    DownloadOutcome outcome = Download(video, small);
    EXPECT_EQ(outcome.status, DownloadStatus::TooLarge);
    EXPECT_NE(outcome.reason.find(platform::Gbk("上限")), std::string::npos);

    // An answer far larger than any picture is cut off at the cap as it arrives.
    sim::Fault huge{sim::FaultKind::Huge};
    huge.huge_bytes = 3 * MIB;
    m_rig.Sim().SetFault("webwxgetmsgimg", huge);
    small.max_bytes = 2 * MIB;
    EXPECT_EQ(Download(picture, small).status, DownloadStatus::TooLarge);

    m_rig.Sim().SetFault("webwxgetvoice", sim::Fault{sim::FaultKind::CutBody});
    outcome = Download(voice, Place());
    EXPECT_EQ(outcome.status, DownloadStatus::Failed);
    EXPECT_EQ(outcome.reason, platform::Gbk("下载中断"));

    // Too little free space: said so, and nothing asked of the service.
    const std::size_t asked = m_rig.Sim().CountRequests("webwxgetvoice");
    DownloadPlace crowded = Place();
    crowded.min_free_bytes = UINT64_MAX;
    outcome = Download(voice, crowded);
    EXPECT_EQ(outcome.status, DownloadStatus::NoSpace);
    EXPECT_NE(outcome.reason.find(platform::Gbk("跳过下载")), std::string::npos);
    EXPECT_EQ(m_rig.Sim().CountRequests("webwxgetvoice"), asked);

    // A disk that fills up mid-file: the process may write no file past 64 KiB.
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = previous;
    limited.rlim_cur = rlim_t{64} * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    outcome = Download(video, Place());
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previous_handler);
    EXPECT_EQ(outcome.status, DownloadStatus::NoSpace);
    EXPECT_NE(outcome.reason.find("File too large"), std::string::npos) << outcome.reason;

    EXPECT_TRUE(FilesBelow(m_dir.Path()).empty());
    EXPECT_EQ(Download(video, Place()).status, DownloadStatus::Saved);
}

// Threads the queue starts, joined when the test ends.
class Threads {
public:
    ~Threads() { Join(); }
    jobs::ThreadStarter Starter() {
        return [this](std::function<void()> body) {
            const std::lock_guard lock(m_mutex);
            m_threads.emplace_back(std::move(body));
            return true;
        };
    }
    void Join() {
        std::vector<std::thread> threads;
        {
            const std::lock_guard lock(m_mutex);
            threads.swap(m_threads);
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
    }

private:
    std::mutex m_mutex;
    std::vector<std::thread> m_threads;
};

TEST_F(DownloadTest, TheQueueTriesAgainNeverFetchesOneTwiceAndStopsAtOnce) {
    const std::vector<ReceivedMedia> received =
        Receive({Message(sim::MessageKind::Video), Message(sim::MessageKind::Picture),
                 Message(sim::MessageKind::Voice)});
    ASSERT_EQ(received.size(), 3u);
    protocol::SessionStore sessions;
    sessions.Publish(m_rig.State());
    std::mutex mutex;
    std::condition_variable reported;
    std::vector<std::pair<std::string, DownloadOutcome>> outcomes;
    Threads threads;
    DownloadPacing pacing;
    pacing.gap_ms = 0;
    pacing.retry_first_ms = 10;
    pacing.retry_max_ms = 10;
    pacing.max_retries = 2;
    DownloadQueue queue({m_rig.Link(), sessions, threads.Starter(),
                         [&](const ReceivedMedia& media, const DownloadOutcome& outcome) {
                             const std::lock_guard lock(mutex);
                             outcomes.emplace_back(media.MsgId, outcome);
                             reported.notify_all();
                         }},
                        pacing);
    ASSERT_TRUE(queue.Start());
    const auto wait_for = [&](std::size_t count) {
        std::unique_lock lock(mutex);
        return reported.wait_for(lock, 30s, [&] { return outcomes.size() >= count; });
    };

    // Cut twice, saved on the third try; a service that keeps failing is given up after
    // the retries, and says so.
    sim::Fault cut{sim::FaultKind::CutBody};
    cut.times = 2;
    m_rig.Sim().SetFault("webwxgetvideo", cut);
    sim::Fault failing{sim::FaultKind::Http500};
    failing.sticky = true;
    m_rig.Sim().SetFault("webwxgetmsgimg", failing);
    EXPECT_TRUE(queue.Post(received[0], Place()));
    EXPECT_FALSE(queue.Post(received[0], Place()));
    EXPECT_TRUE(queue.Post(received[1], Place()));
    ASSERT_TRUE(wait_for(2));
    {
        const std::lock_guard lock(mutex);
        for (const auto& [msg_id, outcome] : outcomes) {
            if (msg_id == received[0].MsgId) {
                EXPECT_EQ(outcome.status, DownloadStatus::Saved);
                EXPECT_EQ(outcome.tries, 3);
            } else {
                EXPECT_EQ(outcome.status, DownloadStatus::Failed);
                EXPECT_EQ(outcome.tries, 3);
                EXPECT_EQ(outcome.reason, platform::Gbk("下载失败(HTTP 500)"));
            }
        }
    }
    EXPECT_EQ(m_rig.Sim().CountRequests("webwxgetvideo"), 3u);
    EXPECT_EQ(m_rig.Sim().CountRequests("webwxgetmsgimg"), 3u);
    // Saved once is saved: the same news again fetches nothing.
    EXPECT_FALSE(queue.Post(received[0], Place()));

    // A download the service holds back ends with the stop, unreported.
    sim::Fault held{sim::FaultKind::Delay};
    held.delay_ms = 60000;
    m_rig.Sim().SetFault("webwxgetvoice", held);
    EXPECT_TRUE(queue.Post(received[2], Place()));
    ASSERT_TRUE(m_rig.Sim().WaitForRequest("webwxgetvoice", 10s));
    queue.Stop();
    threads.Join();
    EXPECT_EQ(queue.Pending(), 0u);
    EXPECT_FALSE(queue.Post(received[2], Place()));
    const std::lock_guard lock(mutex);
    EXPECT_EQ(outcomes.size(), 2u);
}

}  // namespace
}  // namespace zelmo::media
