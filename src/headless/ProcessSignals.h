#pragma once

namespace zelmo::headless {

// What woke the main thread.
struct ProcessEvent {
    enum Kind { Stop, Reload, End };
    Kind kind = Stop;
    int code = 0;    // End: the exit code
    int signal = 0;  // Stop and Reload: the signal's number
};

// Blocks SIGINT, SIGTERM, SIGHUP and the end request in the calling thread, which every
// thread started afterwards inherits, and ignores SIGPIPE, so that a closed standard output
// does not end the robot. Call first in main, before any thread starts.
void BlockProcessSignals();

// Waits in one place for the next stop or reload signal or end request. Main thread.
ProcessEvent WaitForProcessEvent();

// Wakes WaitForProcessEvent with End and the code. Any thread.
void RequestEnd(int code);

}  // namespace zelmo::headless
