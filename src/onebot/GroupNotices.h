#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelmo::onebot {

// A group's system notice (UTF-8, as the service writes it) about people joining or leaving.
struct MemberNotice {
    bool joined = false;   // increase; otherwise decrease
    std::string sub_type;  // "invite" / "join" / "kick"
    // The people who joined or left, by the names the notice gives; empty when it is the
    // own account alone (then own_member is set).
    std::vector<std::string> names;
    bool own_member = false;    // the own account joined or was removed
    std::string operator_name;  // who invited, shared the code or removed; empty: nobody named
    bool own_operator = false;  // the own account did it
};

// Nothing for a notice about anything else. Knows the service's Chinese and English
// wordings of invitations, QR-code joins and removals.
std::optional<MemberNotice> ReadMemberNotice(std::string_view text);

}  // namespace zelmo::onebot
