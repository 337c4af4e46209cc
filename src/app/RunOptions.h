#pragma once

#include <string>

namespace zelmo::app {

// Unattended runs answer every message box at once (OK for OK-only boxes) and echo it to
// standard error; Ask leaves them to the user.
enum class AutoAnswer { Ask, Yes, No };

// What one run was started with.
struct RunOptions {
    std::string data_root;     // the run directory; account folders go below it
    std::string service_file;  // service profile INI; empty means the real service
    AutoAnswer auto_answer = AutoAnswer::Ask;
    // Nobody watches a screen (zelmo-headless): a refused login ends the run, and a
    // re-login that cannot finish gives up after bounded attempts instead of waiting for a
    // scan for ever, so that a supervisor can act.
    bool unattended = false;
    // The program's version, as --version prints it (what bot frameworks are told).
    std::string version;
};

}  // namespace zelmo::app
