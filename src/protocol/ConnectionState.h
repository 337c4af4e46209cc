#pragma once

#include <string>

namespace zelmo::protocol {

// ConnectionState values.
enum ConnectionState : int {
    STATE_ONLINE = 0,
    STATE_OFFLINE = 1,
    STATE_LISTEN_FAILED = 2,
    STATE_REQUEST_FAILED = 3,
};

// The main window's caption for a state ("Zelmo 5.3  在线", GBK); empty for other values.
std::string CaptionFor(int state);

}  // namespace zelmo::protocol
