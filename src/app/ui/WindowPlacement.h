#pragma once

class QWidget;

namespace zelmo::app {

// Moves a top-level window to the middle of its screen's available area.
void CenterOnScreen(QWidget* window);

}  // namespace zelmo::app
