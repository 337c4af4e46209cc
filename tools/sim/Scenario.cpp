#include "sim/Scenario.h"

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "sim/Tokens.h"

namespace sim {
namespace {

using Json = nlohmann::json;

std::string Text(const Json& object, const char* key, const std::string& fallback = "") {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) {
        return fallback;
    }
    return it->is_string() ? it->get<std::string>() : it->dump();
}

std::int64_t Int(const Json& object, const char* key, std::int64_t fallback) {
    const auto it = object.find(key);
    if (it == object.end()) {
        return fallback;
    }
    if (it->is_number_integer()) {
        return it->get<std::int64_t>();
    }
    if (it->is_string()) {
        try {
            return std::stoll(it->get<std::string>());
        } catch (...) {
            return fallback;
        }
    }
    return fallback;
}

enum class ContactRole { Friend, Group, Public, Other };

ContactSpec ReadContact(const Json& object, ContactRole role) {
    ContactSpec contact;
    contact.nick_name = Text(object, "NickName");
    contact.id = Text(object, "id", contact.nick_name);
    contact.user_name = Text(object, "UserName");
    contact.remark_name = Text(object, "RemarkName");
    contact.signature = Text(object, "Signature");
    contact.province = Text(object, "Province");
    contact.city = Text(object, "City");
    contact.alias = Text(object, "Alias");
    contact.uin = Int(object, "Uin", 0);
    contact.is_group = role == ContactRole::Group || contact.user_name.rfind("@@", 0) == 0;
    switch (role) {
        case ContactRole::Group:
            contact.sex = static_cast<int>(Int(object, "Sex", 0));
            contact.contact_flag = static_cast<int>(Int(object, "ContactFlag", 2));
            contact.in_init = object.value("in_init", true);
            break;
        case ContactRole::Public:
            contact.sex = static_cast<int>(Int(object, "Sex", 0));
            contact.verify_flag = static_cast<int>(Int(object, "VerifyFlag", 24));
            contact.contact_flag = static_cast<int>(Int(object, "ContactFlag", 3));
            contact.in_init = object.value("in_init", false);
            break;
        default:
            contact.sex = static_cast<int>(Int(object, "Sex", 1));
            contact.verify_flag = static_cast<int>(Int(object, "VerifyFlag", 0));
            contact.contact_flag = static_cast<int>(Int(object, "ContactFlag", 1));
            contact.in_init = object.value("in_init", false);
    }
    contact.owner_uin = Int(object, "OwnerUin", 0);
    if (const auto members = object.find("members");
        members != object.end() && members->is_array()) {
        for (const Json& member : *members) {
            if (member.is_string()) {
                ContactSpec ref;
                ref.id = member.get<std::string>();
                ref.nick_name = ref.id;
                contact.members.push_back(ref);
            } else if (member.is_object()) {
                ContactSpec item = ReadContact(member, ContactRole::Friend);
                item.remark_name = Text(member, "DisplayName");
                contact.members.push_back(item);
            }
        }
    }
    return contact;
}

MessageSpec ReadMessage(const Json& object) {
    MessageSpec message;
    message.kind = MessageKindFromName(Text(object, "kind", "text"));
    message.from = Text(object, "from");
    message.member = Text(object, "member");
    message.to = Text(object, "to");
    message.text = Text(object, "text");
    message.url = Text(object, "url");
    message.notice = Text(object, "notice");
    message.actor = Text(object, "actor");
    message.target = Text(object, "target");
    message.form = MessageFormFromName(Text(object, "era"));
    message.english = Text(object, "lang") == "en";
    if (const auto targets = object.find("targets");
        targets != object.end() && targets->is_array()) {
        for (const Json& name : *targets) {
            message.targets.push_back(name.get<std::string>());
        }
    }
    return message;
}

void ReadList(const Json& root, const char* key, ContactRole role, std::vector<ContactSpec>& out) {
    const auto it = root.find(key);
    if (it == root.end() || !it->is_array()) {
        return;
    }
    for (const Json& item : *it) {
        if (item.is_object()) {
            out.push_back(ReadContact(item, role));
        }
    }
}

// Members given by reference take the referenced friend's data.
void ResolveMemberReferences(std::vector<ContactSpec>& contacts) {
    for (ContactSpec& group : contacts) {
        for (ContactSpec& member : group.members) {
            if (!member.user_name.empty()) {
                continue;
            }
            for (const ContactSpec& known : contacts) {
                if (!known.is_group && (known.id == member.id)) {
                    const std::string display = member.remark_name;
                    member = known;
                    member.members.clear();
                    member.remark_name = display;
                    break;
                }
            }
        }
    }
}

bool ParseRoot(const Json& root, const std::string& base_dir, Scenario& scenario) {
    if (!root.is_object()) {
        return false;
    }
    scenario.fun = Text(root, "fun", "2");
    scenario.auto_scan_ms = static_cast<int>(Int(root, "auto_scan_ms", -1));
    scenario.auto_confirm_ms = static_cast<int>(Int(root, "auto_confirm_ms", -1));
    scenario.refuse_web_login = root.value("refuse_web_login", false);
    scenario.push_login_fails = root.value("push_login_fails", false);
    if (const auto account = root.find("account"); account != root.end()) {
        scenario.account.uin = Int(*account, "Uin", scenario.account.uin);
        scenario.account.user_name = Text(*account, "UserName");
        scenario.account.nick_name = Text(*account, "NickName", scenario.account.nick_name);
        scenario.account.sex = static_cast<int>(Int(*account, "Sex", 1));
        scenario.account.signature = Text(*account, "Signature");
        const std::string image = Text(*account, "HeadImage");
        if (!image.empty()) {
            const std::filesystem::path path(image);
            scenario.account.head_image_file =
                path.is_absolute() ? image : (std::filesystem::path(base_dir) / path).string();
        }
    }
    ReadList(root, "friends", ContactRole::Friend, scenario.contacts);
    ReadList(root, "public_accounts", ContactRole::Public, scenario.contacts);
    ReadList(root, "contacts", ContactRole::Other, scenario.contacts);
    ReadList(root, "groups", ContactRole::Group, scenario.contacts);
    const std::int64_t generated = Int(root, "generate_friends", 0);
    for (std::int64_t i = 0; i < generated && i < 1000000; ++i) {
        ContactSpec contact;
        contact.id = "gen" + std::to_string(i);
        contact.nick_name = "好友" + std::to_string(i);
        contact.sex = static_cast<int>(i % 3);
        contact.verify_flag = contact.sex == 0 ? 8 : 0;
        contact.contact_flag = contact.sex == 0 ? 3 : 1;
        contact.province = "广东";
        contact.city = "深圳";
        scenario.contacts.push_back(contact);
    }
    ResolveMemberReferences(scenario.contacts);
    if (const auto events = root.find("events"); events != root.end() && events->is_array()) {
        for (const Json& item : *events) {
            ScenarioEvent event;
            event.at_ms = Int(item, "at_ms", 0);
            if (item.contains("message")) {
                event.kind = ScenarioEvent::Kind::Message;
                event.message = ReadMessage(item["message"]);
            } else if (item.contains("contact")) {
                event.kind = ScenarioEvent::Kind::Contact;
                event.contact = ReadContact(item["contact"], item["contact"].value("group", false)
                                                                 ? ContactRole::Group
                                                                 : ContactRole::Friend);
            } else if (item.contains("delete")) {
                event.kind = ScenarioEvent::Kind::Delete;
                event.who = Text(item, "delete");
            } else if (item.contains("end_session")) {
                event.kind = ScenarioEvent::Kind::EndSession;
                event.retcode = static_cast<int>(Int(item, "end_session", 1100));
            } else {
                continue;
            }
            scenario.events.push_back(event);
        }
    }
    return true;
}

}  // namespace

MessageKind MessageKindFromName(std::string_view name) {
    static const std::pair<std::string_view, MessageKind> names[] = {
        {"text", MessageKind::Text},
        {"picture", MessageKind::Picture},
        {"voice", MessageKind::Voice},
        {"video", MessageKind::Video},
        {"sticker", MessageKind::Sticker},
        {"app", MessageKind::App},
        {"article", MessageKind::Article},
        {"file", MessageKind::File},
        {"card", MessageKind::Card},
        {"location", MessageKind::Location},
        {"verify", MessageKind::VerifyRequest},
        {"recall", MessageKind::Recall},
        {"status", MessageKind::StatusNotify},
        {"system", MessageKind::SystemNotice},
    };
    for (const auto& [key, kind] : names) {
        if (key == name) {
            return kind;
        }
    }
    return MessageKind::Text;
}

MessageForm MessageFormFromName(std::string_view name) {
    if (name == "2016") {
        return MessageForm::Y2016;
    }
    if (name == "2017") {
        return MessageForm::Y2017;
    }
    if (name == "2018") {
        return MessageForm::Y2018;
    }
    return MessageForm::Service;
}

bool ParseScenario(std::string_view json_text, const std::string& base_dir, Scenario& scenario,
                   std::string& error) {
    const Json root = Json::parse(json_text, nullptr, false);
    if (root.is_discarded()) {
        error = "the scenario is not valid JSON";
        return false;
    }
    try {
        if (!ParseRoot(root, base_dir, scenario)) {
            error = "the scenario must be a JSON object";
            return false;
        }
    } catch (const std::exception& failure) {
        error = failure.what();
        return false;
    }
    AssignUserNames(scenario.contacts);
    if (scenario.account.user_name.empty()) {
        scenario.account.user_name =
            "@" + UserNameFor("self" + std::to_string(scenario.account.uin), false).substr(1) +
            UserNameFor("account" + std::to_string(scenario.account.uin), false).substr(1);
    }
    return true;
}

Scenario DefaultScenario() {
    static constexpr std::string_view TEXT = R"({
      "account": {"Uin": 2100000001, "NickName": "Zelmo Demo", "Sex": 1, "Signature": "hello"},
      "friends": [
        {"id": "alice", "NickName": "Alice", "Sex": 2, "Province": "广东", "City": "深圳"},
        {"id": "bob", "NickName": "Bob", "Sex": 1, "RemarkName": "Bobby"}],
      "public_accounts": [{"id": "news", "NickName": "Daily News", "VerifyFlag": 24}],
      "groups": [{"id": "team", "NickName": "Team", "OwnerUin": 0,
                  "members": ["alice", "bob", {"id": "carol", "NickName": "Carol"}]}]
    })";
    Scenario scenario;
    std::string error;
    ParseScenario(TEXT, ".", scenario, error);
    return scenario;
}

namespace {

// Parses one JSON object with `read`; false for invalid JSON or fields of the wrong type.
template <typename T, typename Read>
bool ReadJsonObject(std::string_view json_text, T& out, Read read) {
    const Json root = Json::parse(json_text, nullptr, false);
    if (!root.is_object()) {
        return false;
    }
    try {
        out = read(root);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

}  // namespace

bool MessageFromJsonText(std::string_view json_text, MessageSpec& message) {
    return ReadJsonObject(json_text, message, [](const Json& root) { return ReadMessage(root); });
}

bool BulkFromJsonText(std::string_view json_text, BulkMessages& bulk) {
    return ReadJsonObject(json_text, bulk, [](const Json& root) {
        BulkMessages read;
        Json message = root;
        if (const auto from = root.find("from"); from != root.end() && from->is_array()) {
            for (const Json& sender : *from) {
                read.senders.push_back(sender.get<std::string>());
            }
            message.erase("from");
        }
        read.message = ReadMessage(message);
        const std::int64_t count = Int(root, "count", 0);
        // Bounded so that a typo cannot eat the machine's memory.
        read.count = static_cast<std::size_t>(std::clamp<std::int64_t>(count, 0, 1000000));
        read.per_second = root.value("per_second", 0.0);
        read.special_every =
            static_cast<std::size_t>(std::max<std::int64_t>(Int(root, "every", 0), 0));
        read.special_text = Text(root, "every_text");
        return read;
    });
}

bool ContactFromJsonText(std::string_view json_text, ContactSpec& contact) {
    return ReadJsonObject(json_text, contact, [](const Json& root) {
        return ReadContact(root,
                           root.value("group", false) ? ContactRole::Group : ContactRole::Friend);
    });
}

void AssignUserNames(std::vector<ContactSpec>& contacts) {
    for (ContactSpec& contact : contacts) {
        if (contact.id.empty()) {
            contact.id = contact.nick_name;
        }
        if (contact.user_name.empty()) {
            contact.user_name = UserNameFor(contact.id, contact.is_group);
        }
        for (ContactSpec& member : contact.members) {
            if (member.id.empty()) {
                member.id = member.nick_name;
            }
            if (member.user_name.empty()) {
                member.user_name = UserNameFor(member.id, false);
            }
        }
    }
}

}  // namespace sim
