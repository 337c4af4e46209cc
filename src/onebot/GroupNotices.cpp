#include "onebot/GroupNotices.h"

#include <array>

namespace zelmo::onebot {

namespace {

constexpr std::array<std::string_view, 7> WRAPPING = {"\"", "'", " ", "“", "”", "＂", "　"};

// A name without the quotes and blanks the service puts around it.
std::string_view Unwrapped(std::string_view name) {
    for (bool trimmed = true; trimmed && !name.empty();) {
        trimmed = false;
        for (std::string_view wrap : WRAPPING) {
            if (name.starts_with(wrap)) {
                name.remove_prefix(wrap.size());
                trimmed = true;
            }
            if (name.ends_with(wrap)) {
                name.remove_suffix(wrap.size());
                trimmed = true;
            }
        }
    }
    return name;
}

// Several names share one pair of quotes, separated by "、" (or ", " in English).
std::vector<std::string> Names(std::string_view raw) {
    std::vector<std::string> names;
    const std::string_view separator = raw.find("、") != std::string_view::npos ? "、" : ", ";
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = raw.find(separator, start);
        const std::string_view name = Unwrapped(raw.substr(start, at - start));
        if (!name.empty()) {
            names.emplace_back(name);
        }
        if (at == std::string_view::npos) {
            return names;
        }
        start = at + separator.size();
    }
}

bool IsYou(std::string_view name) {
    name = Unwrapped(name);
    return name == "你" || name == "You" || name == "you";
}

void SetMembers(MemberNotice& notice, std::string_view raw) {
    if (IsYou(raw)) {
        notice.own_member = true;
    } else {
        notice.names = Names(raw);
    }
}

void SetOperator(MemberNotice& notice, std::string_view raw) {
    if (IsYou(raw)) {
        notice.own_operator = true;
    } else {
        notice.operator_name = std::string(Unwrapped(raw));
    }
}

std::string_view TrimEnd(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '.' || text.back() == '\n')) {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<MemberNotice> Chinese(std::string_view text) {
    MemberNotice notice;
    if (const std::size_t qr = text.find("二维码加入群聊"); qr != std::string_view::npos) {
        const std::size_t through = text.find("通过扫描");
        if (through == std::string_view::npos || through > qr) {
            return std::nullopt;
        }
        notice.joined = true;
        notice.sub_type = "join";
        SetMembers(notice, text.substr(0, through));
        const std::string_view sharer =
            text.substr(through + std::string_view("通过扫描").size(),
                        qr - through - std::string_view("通过扫描").size());
        if (const std::size_t shared = sharer.find("分享的"); shared != std::string_view::npos) {
            SetOperator(notice, sharer.substr(0, shared));
        }
        return notice;
    }
    if (const std::size_t joined = text.find("加入了群聊"); joined != std::string_view::npos) {
        const std::size_t invited = text.find("邀请");
        if (invited == std::string_view::npos || invited > joined) {
            return std::nullopt;
        }
        notice.joined = true;
        notice.sub_type = "invite";
        SetOperator(notice, text.substr(0, invited));
        const std::size_t from = invited + std::string_view("邀请").size();
        SetMembers(notice, text.substr(from, joined - from));
        return notice;
    }
    if (const std::size_t removed = text.find("移出了群聊"); removed != std::string_view::npos) {
        if (!text.starts_with("你将")) {
            return std::nullopt;
        }
        notice.sub_type = "kick";
        notice.own_operator = true;
        const std::size_t from = std::string_view("你将").size();
        SetMembers(notice, text.substr(from, removed - from));
        return notice;
    }
    if (text.starts_with("你被")) {
        const std::size_t removed = text.find("移出群聊");
        if (removed == std::string_view::npos) {
            return std::nullopt;
        }
        notice.sub_type = "kick";
        notice.own_member = true;
        const std::size_t from = std::string_view("你被").size();
        SetOperator(notice, text.substr(from, removed - from));
        return notice;
    }
    return std::nullopt;
}

std::optional<MemberNotice> English(std::string_view text) {
    constexpr std::string_view INVITED = " invited ";
    constexpr std::string_view TO_GROUP = " to the group chat";
    constexpr std::string_view QR_JOINED = " joined the group chat via the QR Code shared by ";
    constexpr std::string_view REMOVED = "You removed ";
    constexpr std::string_view FROM_GROUP = " from the group chat";
    MemberNotice notice;
    if (const std::size_t qr = text.find(QR_JOINED); qr != std::string_view::npos) {
        notice.joined = true;
        notice.sub_type = "join";
        SetMembers(notice, text.substr(0, qr));
        SetOperator(notice, text.substr(qr + QR_JOINED.size()));
        return notice;
    }
    if (const std::size_t invited = text.find(INVITED); invited != std::string_view::npos) {
        const std::size_t to = text.find(TO_GROUP, invited);
        if (to == std::string_view::npos) {
            return std::nullopt;
        }
        notice.joined = true;
        notice.sub_type = "invite";
        SetOperator(notice, text.substr(0, invited));
        const std::size_t from = invited + INVITED.size();
        SetMembers(notice, text.substr(from, to - from));
        return notice;
    }
    if (text.starts_with(REMOVED)) {
        const std::size_t from_group = text.find(FROM_GROUP);
        if (from_group == std::string_view::npos) {
            return std::nullopt;
        }
        notice.sub_type = "kick";
        notice.own_operator = true;
        SetMembers(notice, text.substr(REMOVED.size(), from_group - REMOVED.size()));
        return notice;
    }
    return std::nullopt;
}

}  // namespace

std::optional<MemberNotice> ReadMemberNotice(std::string_view text) {
    text = TrimEnd(text);
    std::optional<MemberNotice> notice = Chinese(text);
    if (!notice) {
        notice = English(text);
    }
    if (notice && notice->names.empty() && !notice->own_member) {
        return std::nullopt;
    }
    return notice;
}

}  // namespace zelmo::onebot
