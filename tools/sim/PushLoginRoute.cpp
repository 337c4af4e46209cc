#include "sim/SimulatorImpl.h"

namespace sim {

// webwxpushloginurl: the phone of a known session is asked to confirm a new login. Any
// session the cookies name will do, also one that ended or that the client logged out
// itself: a deliberate close logs out, and the next start asks the phone again.
HttpResponse Simulator::Impl::PushLoginUrl(const HttpRequest& request, const std::string& host) {
    HttpResponse response;
    response.headers.emplace_back("Content-Type", "text/plain");
    std::lock_guard lock(mutex);
    const SessionInfo* known = SessionOfCookiesLocked(HeaderValue(request.headers, "Cookie"));
    const std::string uin = QueryValue(request.query, "uin");
    bool refused = options.push_login_fails;
    if (known == nullptr) {
        ViolationLocked("webwxpushloginurl: the cookies name no session");
        refused = true;
    } else if (uin != known->uin) {
        ViolationLocked("webwxpushloginurl: uin " + uin + " is not the cookies' " + known->uin);
        refused = true;
    } else if (host != web_variant) {
        ViolationLocked("webwxpushloginurl: sent to " + host + " instead of " + web_variant);
        refused = true;
    }
    if (refused) {
        ++counts.push_refusals;
        response.body = PushLoginAnswer("1", "", "");
        return response;
    }
    const bool desktop = known->desktop;
    StartLoginCycleLocked(desktop);
    // The phone shows the confirmation at once: the poll answers as after a scan.
    cycle_push = true;
    login = Login::Scanned;
    scanned_ms = NowMs();
    ++counts.pushes;
    state_changed.notify_all();
    response.body = PushLoginAnswer("0", "all ok", uuid);
    return response;
}

}  // namespace sim
