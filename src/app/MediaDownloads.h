#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "media/Download.h"
#include "media/DownloadQueue.h"
#include "messages/MessageEvents.h"

namespace zelmo::app {

class Robot;

// How long a plugin that asks for a message's file waits for its download.
inline constexpr std::chrono::seconds PLUGIN_MEDIA_WAIT{30};

// Keeps what people send: once the intake handled a message (its reply already on its way),
// its picture, voice, video or file goes to the download queue as 媒体下载 says; a saved file
// is named in the message's log row and handed to the hooks, a failed one gets a row of its
// own. Plugins may ask for a message's file and wait for it.
class MediaDownloads final : public messages::MessageObserver {
public:
    // Told of every file saved: the message's MsgId and the path (file-system bytes). On a
    // download thread; must not block.
    using SavedHook = std::function<void(std::string_view msg_id, std::string_view path)>;

    explicit MediaDownloads(Robot& robot);

    // Adds a hook; before the threads start.
    void OnSaved(SavedHook hook);
    // Starts the download threads; false when the robot is stopping.
    bool Start();
    // Ends the downloads at once and wakes every waiter. Any thread; idempotent.
    void Stop();

    // The saved file of the received message `item` (file-system bytes): at once when it is
    // saved, else once a download (asked for here when none is under way) saves it, waiting
    // at most `timeout`. Empty when the message carries no media of a kind 媒体下载 keeps, the
    // download failed, the wait ran out or the robot stops. Any thread.
    std::string FileOf(std::string_view item, std::chrono::milliseconds timeout);

    // Downloads queued or running.
    std::size_t Pending() const { return m_queue.Pending(); }

    void OnReceived(const messages::ReceivedEvent& event) override;
    void OnSent(const messages::SentEvent& /*event*/) override {}

private:
    // Where downloads go and what they may take, by the settings of the moment.
    media::DownloadPlace Place() const;
    int Mode() const;
    void Report(const media::ReceivedMedia& media, const media::DownloadOutcome& outcome);
    void Remember(const std::string& msg_id, std::string path);

    Robot& m_robot;
    std::vector<SavedHook> m_hooks;
    media::DownloadQueue m_queue;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stopped = false;
    // What became of the newest downloads: MsgId -> path, empty for one that failed.
    std::unordered_map<std::string, std::string> m_outcomes;
    std::deque<std::string> m_outcome_order;
};

// The most bytes 媒体上限MB allows per file: "0" none, a text that is no number the default.
std::uint64_t MediaCapBytes(std::string_view megabytes);

}  // namespace zelmo::app
