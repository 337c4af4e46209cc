#include "messages/MessageLog.h"

#include <ctime>

#include "messages/Classification.h"
#include "messages/MessageJobs.h"
#include "messages/Sending.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "platform/GbkText.h"
#include "protocol/TextHelpers.h"

namespace zelmo::messages {

namespace {

constexpr int RANDOM_DIGITS = 8;
constexpr std::string_view LINE_BREAK = "<br/>";
constexpr std::string_view MEMBER_END = ":<br/>";

struct LogTexts {
    std::string group_in = platform::Gbk("[↓]群");
    std::string friend_in = platform::Gbk("[↓]好友");
    std::string own_out = platform::Gbk("[↑]好友");
    std::string own_self = platform::Gbk("[↓]系统");
    std::string detail_time = platform::Gbk("  消息时间：");
    std::string detail_source = platform::Gbk("\r\n来源：");
    std::string detail_destination = platform::Gbk("\r\n发至：");
    std::string detail_content = platform::Gbk("\r\n内容：");
    std::string file_colon = platform::Gbk("：\r\n");
    std::string file_source = platform::Gbk("来源：");
    std::string file_destination = platform::Gbk("发至：");
    std::string file_content = platform::Gbk("内容：");
    std::string title = platform::Gbk("提示");
    std::string exported = platform::Gbk("导出完毕，文件名为\r\n");
    std::string failed = platform::Gbk("导出失败。");
    std::string dropped = platform::Gbk("[未发送：已达每分钟回复上限] ");
};

const LogTexts& Texts() {
    static const LogTexts texts;
    return texts;
}

}  // namespace

LocalTime ToLocalTime(std::int64_t unix_ms) {
    const auto seconds = static_cast<std::time_t>(unix_ms / 1000);
    std::tm parts{};
    localtime_r(&seconds, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
            parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

std::string LogTimeText(const LocalTime& time) {
    return std::to_string(time.hour) + ":" + std::to_string(time.minute) + ":" +
           std::to_string(time.second);
}

void LogMessage(MessageLog& log, const contacts::ContactStore& contacts,
                const protocol::OwnProfile& own, std::string_view from, std::string_view to,
                std::string_view content, std::string_view msg_id) {
    const LogTexts& texts = Texts();
    if (from.find("@@") != std::string_view::npos) {
        log.AddRow(texts.group_in, contacts.FindNickName(from), own.NickName, content, msg_id);
    } else if (from != own.UserName) {
        log.AddRow(texts.friend_in, contacts.FindNickName(from), own.NickName, content, msg_id);
    } else if (to != own.UserName) {
        log.AddRow(texts.own_out, own.NickName, contacts.FindNickName(to), content, msg_id);
    } else {
        log.AddRow(texts.own_self, own.NickName, own.NickName, content, msg_id);
    }
}

std::string ReadableContent(const contacts::ContactStore& contacts, std::string_view from,
                            std::string_view content) {
    std::string shown;
    std::size_t prefix = 0;
    if (platform::ContainsGbk(from, "@@")) {
        prefix = GroupMemberPrefixLength(content);
    }
    if (prefix != 0) {
        const std::string_view member = content.substr(0, prefix - MEMBER_END.size());
        shown = contacts.MemberName(from, member) + ": ";
    }
    // Breaks first: an escaped "&lt;br/&gt;" someone typed stays text.
    shown += protocol::DecodeHtmlEntities(
        platform::ReplaceAllGbk(content.substr(prefix), LINE_BREAK, "\r\n"));
    return shown;
}

std::string DroppedReplyMark() {
    return Texts().dropped;
}

void PostSentRow(jobs::JobQueue& queue, const config::Settings& settings,
                 std::string_view own_user_name, std::string_view to, std::string_view text,
                 bool dropped) {
    if (!settings.显示消息) {
        return;
    }
    std::string shown = ExpandOutgoing(text, settings.机器人姓名);
    if (dropped) {
        shown = DroppedReplyMark() + shown;
    }
    jobs::PostJob(queue, JOB_LOG_ENTRY, std::string(own_user_name), std::string(to),
                  std::move(shown));
}

void MessageLog::AddRow(std::string_view label, std::string_view source,
                        std::string_view destination, std::string_view content) {
    AddRow(label, source, destination, content, {});
}

void MessageLog::AddRow(std::string_view label, std::string_view source,
                        std::string_view destination, std::string_view content,
                        std::string_view msg_id) {
    std::lock_guard lock(m_log_lock);
    const std::string time = LogTimeText(ToLocalTime(m_clock.UnixMs()));
    if (msg_id.empty()) {
        m_screen.AddLogRow(label, time, source, destination, content);
    } else {
        m_screen.AddMessageLogRow(label, time, source, destination, content, msg_id);
    }
}

void MessageLog::ShowFile(std::string_view msg_id, std::string_view path) {
    // After the rows added before it, as the screen takes them.
    std::lock_guard lock(m_log_lock);
    m_screen.LogRowFile(msg_id, path);
}

bool IsChatRow(std::string_view label) {
    const LogTexts& texts = Texts();
    return label == texts.group_in || label == texts.friend_in || label == texts.own_out ||
           label == texts.own_self;
}

std::string RowDetails(const LogRow& row) {
    const LogTexts& texts = Texts();
    return row.label + texts.detail_time + row.time + texts.detail_source + row.source +
           texts.detail_destination + row.destination + texts.detail_content + row.content;
}

std::string ExportText(const LogRows& rows) {
    const LogTexts& texts = Texts();
    std::size_t size = 0;
    for (const LogRow& row : rows) {
        size += row.label.size() + row.time.size() + row.source.size() + row.destination.size() +
                row.content.size() + 40;
    }
    std::string text;
    text.reserve(size);
    for (const LogRow& row : rows) {
        text.append(row.label).append("---").append(row.time).append(texts.file_colon);
        text.append(texts.file_source).append(row.source).append("\r\n");
        text.append(texts.file_destination).append(row.destination).append("\r\n");
        text.append(texts.file_content).append(row.content).append("\r\n");
    }
    return text;
}

std::string ExportFileName(const LocalTime& time, platform::Clock& clock) {
    std::string name = std::to_string(time.year) + std::to_string(time.month) +
                       std::to_string(time.day) + std::to_string(time.hour) +
                       std::to_string(time.minute) + std::to_string(time.second);
    for (int i = 0; i < RANDOM_DIGITS; ++i) {
        name += static_cast<char>('0' + clock.Random(0, 9));
    }
    return name + ".txt";
}

std::string ExportMessageLog(LogPort& screen, platform::Clock& clock, const LogRows& rows) {
    const LogTexts& texts = Texts();
    const std::string name = ExportFileName(ToLocalTime(clock.UnixMs()), clock);
    if (!platform::WriteFileAtomic(name, ExportText(rows))) {
        screen.ShowMessageBox(texts.title, texts.failed);
        return {};
    }
    // A bare name leaves the user searching for the file; folder names are UTF-8 here.
    std::string path = platform::AbsolutePath(name);
    screen.ShowMessageBox(texts.title, texts.exported + platform::Utf8ToGbk(path));
    return path;
}

}  // namespace zelmo::messages
