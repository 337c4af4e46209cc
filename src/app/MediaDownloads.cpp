#include "app/MediaDownloads.h"

#include <limits>
#include <utility>

#include "app/Robot.h"
#include "config/Settings.h"
#include "config/SettingsInput.h"
#include "media/MediaKind.h"
#include "media/ReceivedMedia.h"
#include "platform/GbkLiteral.h"
#include "protocol/TextHelpers.h"

namespace zelmo::app {

namespace {

// Outcomes remembered for plugins that ask after the download ended.
constexpr std::size_t REMEMBERED_OUTCOMES = 1024;
// Above this many MB a cap means no cap (and its bytes would not fit).
constexpr std::uint64_t MAX_CAP_MB = std::uint64_t{1} << 40;

std::string KindLabel(media::MediaKind kind) {
    switch (kind) {
        case media::MediaKind::Picture:
            return platform::Gbk("[图片]");
        case media::MediaKind::Voice:
            return platform::Gbk("[语音]");
        case media::MediaKind::Video:
            return platform::Gbk("[视频]");
        case media::MediaKind::File:
            return platform::Gbk("[文件]");
    }
    return {};
}

}  // namespace

std::uint64_t MediaCapBytes(std::string_view megabytes) {
    const std::string normal = config::NormalizeCount(megabytes, config::Settings{}.媒体上限MB);
    const auto value = static_cast<std::uint64_t>(protocol::IntegerValue(normal));
    if (value == 0 || value > MAX_CAP_MB) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return value * media::MIB;
}

MediaDownloads::MediaDownloads(Robot& robot)
    : m_robot(robot),
      m_queue({robot.Link(), robot.Sessions(), robot.Starter(),
               [this](const media::ReceivedMedia& media, const media::DownloadOutcome& outcome) {
                   Report(media, outcome);
               }}) {}

void MediaDownloads::OnSaved(SavedHook hook) {
    m_hooks.push_back(std::move(hook));
}

bool MediaDownloads::Start() {
    return m_queue.Start();
}

void MediaDownloads::Stop() {
    m_queue.Stop();
    {
        const std::lock_guard lock(m_mutex);
        m_stopped = true;
    }
    m_changed.notify_all();
}

int MediaDownloads::Mode() const {
    return config::MediaDownloadMode(m_robot.Settings().Get()->媒体下载);
}

media::DownloadPlace MediaDownloads::Place() const {
    return {m_robot.AccountDir(), MediaCapBytes(m_robot.Settings().Get()->媒体上限MB),
            media::MIN_FREE_BYTES};
}

void MediaDownloads::OnReceived(const messages::ReceivedEvent& event) {
    // Texts, the most of what arrives, are not read again.
    if (!media::MayCarryMedia(event.message.MsgType)) {
        return;
    }
    std::optional<media::ReceivedMedia> media = media::ReadReceivedMedia(event.item);
    if (!media || !media::WantsDownload(media->kind, Mode())) {
        return;
    }
    {
        // A plugin that asked for the file while the message was handled had it fetched.
        const std::lock_guard lock(m_mutex);
        if (m_outcomes.contains(media->MsgId)) {
            return;
        }
    }
    m_queue.Post(std::move(*media), Place());
}

void MediaDownloads::Report(const media::ReceivedMedia& media,
                            const media::DownloadOutcome& outcome) {
    const bool saved = outcome.status == media::DownloadStatus::Saved;
    Remember(media.MsgId, saved ? outcome.path : std::string());
    if (outcome.status == media::DownloadStatus::Stopped) {
        return;  // a stopping robot reports nothing
    }
    if (!saved) {
        const std::shared_ptr<const protocol::ProtocolState> state = m_robot.State();
        m_robot.Log().AddRow(
            platform::Gbk("[↓]未保存"), m_robot.Contacts().FindNickName(media.FromUserName),
            state->own.NickName, outcome.reason + platform::Gbk("：") + KindLabel(media.kind));
        return;
    }
    // The archive's row first: whoever sees the log row may look the path up there.
    for (const SavedHook& hook : m_hooks) {
        try {
            hook(media.MsgId, outcome.path);
        } catch (...) {
            // A hook's trouble is its own: the file is saved all the same.
        }
    }
    if (m_robot.Settings().Get()->显示消息) {
        m_robot.Log().ShowFile(media.MsgId, outcome.path);
    }
}

void MediaDownloads::Remember(const std::string& msg_id, std::string path) {
    {
        const std::lock_guard lock(m_mutex);
        if (m_outcomes.insert_or_assign(msg_id, std::move(path)).second) {
            m_outcome_order.push_back(msg_id);
            if (m_outcome_order.size() > REMEMBERED_OUTCOMES) {
                m_outcomes.erase(m_outcome_order.front());
                m_outcome_order.pop_front();
            }
        }
    }
    m_changed.notify_all();
}

std::string MediaDownloads::FileOf(std::string_view item, std::chrono::milliseconds timeout) {
    std::optional<media::ReceivedMedia> media = media::ReadReceivedMedia(item);
    if (!media || !media::WantsDownload(media->kind, Mode())) {
        return {};
    }
    const std::string msg_id = media->MsgId;
    {
        const std::lock_guard lock(m_mutex);
        if (const auto known = m_outcomes.find(msg_id); known != m_outcomes.end()) {
            return known->second;
        }
    }
    // Refused when it is queued or running already: then its end is waited for all the same.
    m_queue.Post(std::move(*media), Place());
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, timeout, [&] { return m_stopped || m_outcomes.contains(msg_id); });
    const auto known = m_outcomes.find(msg_id);
    return known == m_outcomes.end() ? std::string() : known->second;
}

}  // namespace zelmo::app
