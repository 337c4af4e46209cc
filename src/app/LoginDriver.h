#pragma once

#include "protocol/Session.h"

namespace zelmo::app {

class Robot;

// The program's first login. With a saved session whose account has 自动重新登录 on, a
// robot thread tries that session (webwxinit, no QR code), then asks the account's phone
// (PushLogin), and starts a QR cycle only when both fail. Without one: StartLogin. Both
// tries count as logins the robot starts by itself (LoginGuard); where it may start none,
// a "错误提示" box says why and the QR code waits for the user's scan. Any thread; true
// when a QR code is on the screen now (the login window may fade in).
bool BeginLogin(Robot& robot);

// One QR cycle: starts the fetch, shows the status texts, waits for the image and starts
// the poll thread. Any thread. False when no image came (the first login then reports
// 10001 and ends the program; a re-login leaves that to its caller) or the robot stops.
// A re-login's cycle that the user did not ask for counts as a login the robot starts by
// itself, and does not start where it may start none (LoginRun::auto_login_stopped).
bool StartLogin(Robot& robot);

// The login's draft became the session: it is published (the init answer, which only the
// start-up reads, stays with the draft) and its life watched from now on.
void PublishDraft(Robot& robot);

// Thread body: polls the login state until the phone confirms or the code expires, then
// completes the login, hands over to the main window and runs its start-up (or hands the
// session to the re-login that waits for it), or starts a new cycle. A login the service
// refuses shows its message; then one new code comes, and no further cycle starts by
// itself until a scan (headless: the program ends).
void LoginPollThread(Robot& robot);

// Shows the message box of a login error code (10001 or 10002).
void ReportLoginError(Robot& robot, int code);

// The user asked for a new QR code (a click on the login window's picture): starts one
// when the login window waits for that. Any thread.
void RequestNewQrCode(Robot& robot);

enum class PushOutcome {
    Done,          // logged in again: the login's draft holds the new session, initialised
    NotPossible,   // the service offers no push for these cookies
    NoAnswer,      // the service did not answer (network)
    NotConfirmed,  // the phone did not confirm within the poll cycles
    Refused,       // the service refused the login (its message was shown)
    Stopped,
};

// Push login for the account of `base` (its cookies, Uin, host variant and mode): asks the
// phone to confirm, polls with the uuid it gives, completes the login and runs webwxinit
// into the login's draft. Blocks; on a login thread.
PushOutcome PushLogin(Robot& robot, const protocol::Session& base);

}  // namespace zelmo::app
