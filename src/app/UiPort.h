#pragma once

#include "app/LogPort.h"
#include "app/LoginPort.h"
#include "app/MainWindowPort.h"
#include "app/ShellPort.h"
#include "contacts/ListsPort.h"
#include "mass/MassPort.h"
#include "messages/EditorPort.h"

namespace zelmo::app {

// Every screen area a front end provides. The core's functions take the narrow port they
// need; a front end implements them all.
class UiPort : public ShellPort,
               public LoginPort,
               public MainWindowPort,
               public LogPort,
               public contacts::ListsPort,
               public mass::MassPort,
               public messages::EditorPort {};

}  // namespace zelmo::app
