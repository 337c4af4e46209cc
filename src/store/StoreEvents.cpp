#include "store/StoreEvents.h"

#include "platform/Encoding.h"
#include "platform/GbkLiteral.h"

namespace zelmo::store {

namespace {

using platform::Gbk;
using platform::SqliteStatus;

std::string Reason(StoreFailure failure) {
    switch (failure) {
        case StoreFailure::CannotOpen:
            return Gbk("无法打开");
        case StoreFailure::Locked:
            return Gbk("被其他程序锁定");
        case StoreFailure::ReadOnly:
            return Gbk("只读，无法写入");
        case StoreFailure::Full:
            return Gbk("磁盘已满");
        case StoreFailure::IoError:
            return Gbk("读写出错");
        case StoreFailure::Corrupt:
            return Gbk("文件已损坏");
        case StoreFailure::NotADatabase:
            return Gbk("不是数据库文件");
        case StoreFailure::TooNew:
            return Gbk("由较新版本的程序创建");
        case StoreFailure::Other:
            return Gbk("出错");
    }
    return Gbk("出错");
}

std::string WithDetail(std::string text, const std::string& detail) {
    if (!detail.empty()) {
        text += Gbk("（") + platform::Utf8ToGbk(detail) + Gbk("）");
    }
    return text;
}

}  // namespace

StoreFailure FailureOf(SqliteStatus status) {
    switch (status) {
        case SqliteStatus::Busy:
        case SqliteStatus::Locked:
            return StoreFailure::Locked;
        case SqliteStatus::ReadOnly:
            return StoreFailure::ReadOnly;
        case SqliteStatus::Full:
            return StoreFailure::Full;
        case SqliteStatus::IoError:
            return StoreFailure::IoError;
        case SqliteStatus::Corrupt:
            return StoreFailure::Corrupt;
        case SqliteStatus::NotADatabase:
            return StoreFailure::NotADatabase;
        case SqliteStatus::CantOpen:
            return StoreFailure::CannotOpen;
        default:
            return StoreFailure::Other;
    }
}

std::string StoreEventText(const StoreEvent& event) {
    const std::string path = platform::Utf8ToGbk(event.path);
    const std::string rows = std::to_string(event.rows);
    switch (event.kind) {
        case StoreEvent::Kind::Failed:
            return WithDetail(Gbk("消息存档 ") + path + Gbk(" ") + Reason(event.failure),
                              event.detail) +
                   Gbk("。机器人照常运行，未写入的消息暂存在内存中，恢复后写入。");
        case StoreEvent::Kind::MovedAside:
            return WithDetail(Gbk("消息存档 ") + path + Gbk(" ") + Reason(event.failure),
                              event.detail) +
                   Gbk("，已改名为 ") + platform::Utf8ToGbk(event.aside_path) +
                   Gbk(" 保留，并新建了存档。");
        case StoreEvent::Kind::RowsDropped:
            return Gbk("消息存档 ") + path + Gbk(" 无法写入，内存中暂存的消息已达上限，已丢弃 ") +
                   rows + Gbk(" 条消息。");
        case StoreEvent::Kind::Recovered:
            return Gbk("消息存档 ") + path + Gbk(" 恢复正常，已写入暂存的 ") + rows +
                   Gbk(" 条消息。");
    }
    return {};
}

}  // namespace zelmo::store
