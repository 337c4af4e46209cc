#pragma once

#include <httplib.h>

#include <string>

#include "sim/Simulator.h"
#include "support/TestSupport.h"

namespace simtest {

struct Answer {
    int status = 0;  // 0: no answer (connection failed or reset)
    httplib::Headers headers;
    std::string body;  // raw bytes as sent
    std::string Header(const std::string& name) const;
    bool Gzipped() const { return Header("Content-Encoding") == "gzip"; }
    std::string Text() const;  // gunzipped when the answer says so
};

// A simulator on an ephemeral port in its own temp folder, with short holds.
struct Harness {
    zelmo::test::TempDir dir;
    sim::Simulator simulator;
    explicit Harness(sim::SimulatorOptions options = {});
    static sim::SimulatorOptions Options(int hold_ms = 300);

    // One request over real TLS to `host` (SNI and Host carry the name).
    Answer Send(const std::string& host, const std::string& method, const std::string& target,
                const std::string& body = "", const std::string& cookie = "",
                bool gzip = true) const;
    std::string Web() const { return simulator.HostFor("web"); }

    // Runs jslogin, scan, confirm, the poll and the redirect; returns the cookie header
    // the client would send afterwards (empty on failure).
    std::string Login();
    // Login plus webwxinit; returns the init answer text.
    std::string LoginAndInit(std::string& cookie);

    std::string SkeyQuery() const;  // "skey=%40..."
    std::string Envelope() const;   // {"BaseRequest":{...}, without closing
    std::string Path(const std::string& name, bool with_ticket = true) const;
};

// The SyncKey object text ({"Count":..,"List":[..]}) cut from an answer.
std::string SyncKeyJson(const std::string& answer);
// The synccheck form 1_A%7C2_B... of the same key.
std::string SyncKeyText(const std::string& answer);
std::string Gunzip(const std::string& data);

}  // namespace simtest
