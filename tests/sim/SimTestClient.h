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

    // One request over real TLS to `host` (SNI and Host carry the name). Each opens its own
    // connection, so two calls may stand for two client processes. `headers` replace the
    // defaults (Accept-Encoding, Content-Type) of their names.
    Answer Send(const std::string& host, const std::string& method, const std::string& target,
                const std::string& body = "", const std::string& cookie = "", bool gzip = true,
                const httplib::Headers& headers = {}) const;
    std::string Web() const { return simulator.HostFor("web"); }

    // Runs jslogin (asking for desktop mode when `desktop`), scan, confirm, the poll and
    // the redirect (with the desktop header lines when `desktop`); returns the cookie
    // header the client would send afterwards (empty on failure).
    std::string Login(bool desktop = false);
    // The poll of the current uuid and the redirect it names; the cookie header as above.
    std::string FinishLogin(const httplib::Headers& headers = {});
    static httplib::Headers DesktopHeaders();
    // The jslogin target, with the desktop-mode redirect_uri when asked.
    static std::string JsLoginTarget(bool desktop);
    std::string InitBody() const;  // the webwxinit body of the current session
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
// True when one of the simulator's recorded violations holds `part`.
bool HasViolation(const sim::Simulator& simulator, const std::string& part);

std::string Gunzip(const std::string& data);

}  // namespace simtest
