#pragma once

#include <vector>

class QWidget;

namespace zelmo::app {

// Alpha levels (0..255) a fade passes through, in order, and the pause after each step.
std::vector<int> FadeInLevels();
std::vector<int> FadeOutLevels();
constexpr int FADE_IN_STEP_MS = 10;
constexpr int FADE_OUT_STEP_MS = 5;

// Fade the window's opacity in (ending opaque) or out (ending invisible), pumping events
// between steps; the window is disabled meanwhile. UI thread. Stops early if the window
// is destroyed during the fade.
void FadeIn(QWidget* window);
void FadeOut(QWidget* window);

}  // namespace zelmo::app
