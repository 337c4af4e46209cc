#include "headless/ProcessSignals.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

namespace zelmo::headless {

namespace {

// The end request is a signal the process queues to itself, so one sigwaitinfo waits for
// everything and no handler ever runs.
constexpr int END_SIGNAL = SIGUSR1;

sigset_t HandledSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, END_SIGNAL);
    return set;
}

}  // namespace

void BlockProcessSignals() {
    const sigset_t set = HandledSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

ProcessEvent WaitForProcessEvent() {
    const sigset_t set = HandledSignals();
    for (;;) {
        siginfo_t info{};
        const int number = sigwaitinfo(&set, &info);
        if (number < 0) {
            // EINTR only: a stopped and continued process.
            continue;
        }
        if (number == END_SIGNAL) {
            // Someone else's SIGUSR1 is not an end request.
            if (info.si_code != SI_QUEUE || info.si_pid != getpid()) {
                continue;
            }
            return {ProcessEvent::End, info.si_value.sival_int, number};
        }
        if (number == SIGHUP) {
            return {ProcessEvent::Reload, 0, number};
        }
        return {ProcessEvent::Stop, 0, number};
    }
}

void RequestEnd(int code) {
    sigval value{};
    value.sival_int = code;
    sigqueue(getpid(), END_SIGNAL, value);
}

}  // namespace zelmo::headless
