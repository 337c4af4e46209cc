#include "app/MessageLog.h"

#include <ctime>
#include <mutex>

#include "app/GbkLiteral.h"
#include "app/Robot.h"
#include "platform/Clock.h"
#include "platform/Files.h"

namespace zelmo::app {

namespace {

constexpr int RANDOM_DIGITS = 8;

struct LogTexts {
    std::string group_in = Gbk("[↓]群");
    std::string friend_in = Gbk("[↓]好友");
    std::string own_out = Gbk("[↑]好友");
    std::string own_self = Gbk("[↓]系统");
    std::string detail_time = Gbk("  消息时间：");
    std::string detail_source = Gbk("\r\n来源：");
    std::string detail_destination = Gbk("\r\n发至：");
    std::string detail_content = Gbk("\r\n内容：");
    std::string file_colon = Gbk("：\r\n");
    std::string file_source = Gbk("来源：");
    std::string file_destination = Gbk("发至：");
    std::string file_content = Gbk("内容：");
    std::string title = Gbk("提示");
    std::string exported = Gbk("导出完毕，文件名为\r\n");
    std::string failed = Gbk("导出失败。");
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

void LogMessage(Robot& robot, std::string_view from, std::string_view to,
                std::string_view content) {
    const LogTexts& texts = Texts();
    const protocol::OwnProfile& own = robot.State().own;
    const contacts::ContactStore& store = robot.Contacts();
    if (from.find("@@") != std::string_view::npos) {
        AddLogRow(robot, texts.group_in, store.FindNickName(from), own.NickName, content);
    } else if (from != own.UserName) {
        AddLogRow(robot, texts.friend_in, store.FindNickName(from), own.NickName, content);
    } else if (to != own.UserName) {
        AddLogRow(robot, texts.own_out, own.NickName, store.FindNickName(to), content);
    } else {
        AddLogRow(robot, texts.own_self, own.NickName, own.NickName, content);
    }
}

void AddLogRow(Robot& robot, std::string_view label, std::string_view source,
               std::string_view destination, std::string_view content) {
    std::lock_guard lock(robot.LogLock());
    const std::string time = LogTimeText(ToLocalTime(robot.Clock().UnixMs()));
    robot.Screen().AddLogRow(label, time, source, destination, content);
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

std::string ExportMessageLog(Robot& robot, const LogRows& rows) {
    const LogTexts& texts = Texts();
    std::string name = ExportFileName(ToLocalTime(robot.Clock().UnixMs()), robot.Clock());
    if (!platform::WriteFileAtomic(name, ExportText(rows))) {
        robot.Screen().ShowMessageBox(texts.title, texts.failed);
        return {};
    }
    robot.Screen().ShowMessageBox(texts.title, texts.exported + name);
    return name;
}

}  // namespace zelmo::app
