#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "sim/HttpWire.h"
#include "sim/SimulatorImpl.h"

namespace sim {

using Json = nlohmann::json;

// What a request must carry besides the session's cookies.
enum class Envelope { None, Optional, Init, Sync, Full };

struct Check {
    Envelope envelope = Envelope::Full;
    bool skey_in_query = true;
    bool pass_ticket = true;
    bool undefined_ticket_ok = false;
    const std::string* host = nullptr;  // the host it must go to; null: the web host
};

HttpResponse Text(std::string body, std::string content_type = "text/plain");

// A JSON string as it is, any other value as its JSON text.
std::string JsonScalarText(const Json& value);

// Validates host, login, cookies, query credentials and the BaseRequest envelope (the
// body, parsed into `body`). Returns the Ret to answer with (0: fine). Caller holds the
// mutex.
int CheckSession(Simulator::Impl& impl, const HttpRequest& request, const std::string& host,
                 const Check& check, Json& body);

// A ClientMsgId or LocalID that an accepted send of the session used already, or one that is
// not 17 digits once the client has sent 17, is a violation of `where`. Caller holds the
// mutex.
void CheckMessageIdsLocked(Simulator::Impl& impl, const SentMessage& sent, std::string_view where);

}  // namespace sim
