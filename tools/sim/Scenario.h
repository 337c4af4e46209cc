#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/Simulator.h"

namespace sim {

struct AccountSpec {
    std::int64_t uin = 2100000001;
    std::string user_name;  // generated when empty
    std::string nick_name = "Zelmo Demo";
    int sex = 1;
    std::string signature;
    std::string head_image_file;  // served as the account's head image; empty: generated
};

struct ScenarioEvent {
    enum class Kind { Message, Contact, Delete, EndSession };
    Kind kind = Kind::Message;
    std::int64_t at_ms = 0;  // after the session started (login completed)
    MessageSpec message;
    ContactSpec contact;
    std::string who;
    int retcode = 1100;
};

struct Scenario {
    std::string fun = "2";
    AccountSpec account;
    std::vector<ContactSpec> contacts;  // friends, groups, public accounts, others
    std::vector<ScenarioEvent> events;
    int auto_scan_ms = -1;
    int auto_confirm_ms = -1;
    bool refuse_web_login = false;  // web-mode logins get the 1203 refusal
    bool push_login_fails = false;  // push logins give no uuid
};

// Parses a scenario file's text. `base_dir` resolves relative file names. False with a
// reason in `error` when the text is not a valid scenario.
bool ParseScenario(std::string_view json_text, const std::string& base_dir, Scenario& scenario,
                   std::string& error);

// A small built-in account: two friends, a group, a public account.
Scenario DefaultScenario();

MessageKind MessageKindFromName(std::string_view name);
// "2016", "2017", "2018"; anything else follows the service's era.
MessageForm MessageFormFromName(std::string_view name);
// Reads a message or contact object as the control API and scenario files write them.
bool MessageFromJsonText(std::string_view json_text, MessageSpec& message);
// A bulk run: the message fields plus "count", "per_second", "every", "every_text"; "from"
// may be a list of senders taken in turn.
bool BulkFromJsonText(std::string_view json_text, BulkMessages& bulk);
bool ContactFromJsonText(std::string_view json_text, ContactSpec& contact);

// Fills empty UserNames of contacts and their members (stable per id).
void AssignUserNames(std::vector<ContactSpec>& contacts);

}  // namespace sim
