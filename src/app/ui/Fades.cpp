#include "app/ui/Fades.h"

#include <QPointer>
#include <QWidget>

#include "app/ui/PumpingDelay.h"

namespace zelmo::app {

namespace {

constexpr int STEPS = 30;
constexpr int STEP = 8;
constexpr double FULL_ALPHA = 255.0;

// Sets each level with a pause after it, then the final level (none when negative).
void Fade(QWidget* window, const std::vector<int>& levels, int step_ms, int final_level) {
    QPointer<QWidget> target(window);
    if (target == nullptr) {
        return;
    }
    const bool disabled_here = target->isEnabled();
    if (disabled_here) {
        target->setEnabled(false);
    }
    for (const int level : levels) {
        target->setWindowOpacity(level / FULL_ALPHA);
        PumpingDelay(step_ms);
        if (target == nullptr) {
            return;
        }
    }
    if (final_level >= 0) {
        target->setWindowOpacity(final_level / FULL_ALPHA);
    }
    if (disabled_here) {
        target->setEnabled(true);
    }
}

}  // namespace

std::vector<int> FadeInLevels() {
    std::vector<int> levels;
    for (int i = 1; i <= STEPS; ++i) {
        levels.push_back(STEP * i);
    }
    levels.push_back(255);
    return levels;
}

std::vector<int> FadeOutLevels() {
    std::vector<int> levels;
    for (int i = 1; i <= STEPS; ++i) {
        levels.push_back(240 - STEP * i);
    }
    return levels;
}

void FadeIn(QWidget* window) {
    std::vector<int> levels = FadeInLevels();
    const int final_level = levels.back();
    levels.pop_back();
    Fade(window, levels, FADE_IN_STEP_MS, final_level);
}

void FadeOut(QWidget* window) {
    Fade(window, FadeOutLevels(), FADE_OUT_STEP_MS, -1);
}

}  // namespace zelmo::app
