#pragma once

namespace zelmo::app {
class Robot;
}

namespace zelmo::mass {

// The mass sender's texts and run state, which the mass-send window shows. Any thread.
class MassState {};

// Reads "config/mass.ini" into the text list (all unticked).
void LoadMassTexts(app::Robot& robot);

}  // namespace zelmo::mass
