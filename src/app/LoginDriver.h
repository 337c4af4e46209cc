#pragma once

namespace zelmo::app {

class Robot;

// One QR cycle: starts the fetch, shows the status texts, waits for the image and starts
// the poll thread. Any thread. False when the program was ended (no image) or the robot is
// stopping.
bool StartLogin(Robot& robot);

// Thread body: polls the login state until the phone confirms or the code expires, then
// completes the login, hands over to the main window and runs its start-up, or starts a
// new cycle.
void LoginPollThread(Robot& robot);

// Shows the message box of a login error code (10001 or 10002).
void ReportLoginError(Robot& robot, int code);

}  // namespace zelmo::app
