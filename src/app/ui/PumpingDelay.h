#pragma once

namespace zelmo::app {

// Waits ms milliseconds in a nested event loop, so the thread's windows stay responsive.
// UI thread only; returns at once once the application is quitting.
void PumpingDelay(int ms);

}  // namespace zelmo::app
