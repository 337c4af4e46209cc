#pragma once

namespace zelmo::platform {

// SIGINT and SIGTERM as something an event loop can watch: blocks both in the calling
// thread (and so in every thread it starts afterwards) and returns a descriptor that
// becomes readable when one arrives; -1 on failure (the signals then act as before).
int OpenStopSignals();

// Takes one arrived signal from that descriptor: its number, 0 when none was waiting.
int TakeStopSignal(int fd);

}  // namespace zelmo::platform
