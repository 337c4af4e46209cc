#pragma once

#include "config/Settings.h"

namespace zelmo::test {

// Every field away from its default, with GBK texts (one holding the INI's "=").
config::Settings ChangedSettings();

}  // namespace zelmo::test
