#pragma once

namespace zelmo::app {

class Robot;

// The loaded settings' [OneBot] section, once the account's settings are read: nothing when
// it is off. Each fault is a "错误提示" box naming its setting; an unattended robot (which
// nobody can ask to mend it) then ends the program with EXIT_CONFIGURATION and false, the
// desktop leaves what is refused off and serves the rest. The service is told of every
// message the intake handles, and opens its listeners and connections at once; each
// listener is named in the event log (a line of zelmo-headless) with the host:port it
// listens on. Before the queue workers start.
bool StartOneBot(Robot& robot);

// The robot came online or went offline (a re-login): the frameworks are told. Any thread.
void TellOneBotOnline(Robot& robot, bool online);

}  // namespace zelmo::app
