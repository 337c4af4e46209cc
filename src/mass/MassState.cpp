#include "mass/MassState.h"

namespace zelmo::mass {

void LoadMassTexts(app::Robot&) {}

}  // namespace zelmo::mass
