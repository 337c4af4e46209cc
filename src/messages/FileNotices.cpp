#include "messages/FileNotices.h"

#include "platform/Encoding.h"

namespace zelmo::messages {

namespace {

// Paths are UTF-8 bytes, and so are the literals here; the texts are GBK.
std::string Gbk(std::string_view utf8) {
    return platform::Utf8ToGbk(utf8);
}

}  // namespace

std::optional<FileNotice> ReadNotice(const platform::TextFileReport& report,
                                     std::string_view consequence) {
    const std::string path = Gbk(report.path);
    switch (report.state) {
        case platform::TextFileState::Ok:
        case platform::TextFileState::Missing:
            return std::nullopt;
        case platform::TextFileState::Unreadable:
            return FileNotice{Gbk("错误提示"), Gbk("无法读取 ") + path + Gbk("：") + report.reason +
                                                   "\r\n" + std::string(consequence) +
                                                   Gbk("此文件不会被覆盖。")};
        case platform::TextFileState::Converted:
            break;
    }
    std::string text = path + Gbk(" 是 UTF-8 编码，已转换读取");
    if (!report.backup_path.empty()) {
        text += Gbk("；保存时写为 GBK，原文件保留为 ") + Gbk(report.backup_path) + Gbk("。");
    } else if (!report.reason.empty()) {
        text += Gbk("，但原文件无法备份（") + report.reason + Gbk("），此文件不会被覆盖。");
    } else {
        text += Gbk("。");
    }
    return FileNotice{Gbk("提示"), text};
}

std::optional<FileNotice> SaveNotice(const ReplyBaseSave& saved) {
    if (!saved.ok) {
        return FileNotice{Gbk("错误提示"), Gbk("无法保存词库：") + Gbk(saved.path)};
    }
    if (saved.redirected) {
        return FileNotice{Gbk("提示"),
                          Gbk("原词库文件无法读取，未被覆盖；词库已保存到 ") + Gbk(saved.path)};
    }
    return std::nullopt;
}

}  // namespace zelmo::messages
