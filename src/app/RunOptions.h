#pragma once

#include <string>

namespace zelmo::app {

// What one run was started with.
struct RunOptions {
    std::string data_root;     // the run directory; account folders go below it
    std::string service_file;  // service profile INI; empty means the real service
    bool auto_answer = false;  // answer every message box at once, echoing it to stderr
};

}  // namespace zelmo::app
