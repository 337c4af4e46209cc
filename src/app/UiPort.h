#pragma once

#include "app/LoginPort.h"
#include "app/MainWindowPort.h"
#include "app/ShellPort.h"
#include "contacts/ListsPort.h"
#include "mass/MassPort.h"
#include "messages/EditorPort.h"
#include "messages/LogPort.h"
#include "plugins/PluginPort.h"

namespace zelmo::app {

// Every screen area a front end provides. Each subsystem declares the narrow port it calls
// and takes only that; a front end implements them all. Where two ports ask the same of the
// screen (a message box, a question, the status popup), one method serves both.
class UiPort : public ShellPort,
               public LoginPort,
               public MainWindowPort,
               public messages::LogPort,
               public contacts::ListsPort,
               public mass::MassPort,
               public messages::EditorPort,
               public plugins::PluginPort {
public:
    using ShellPort::AskYesNo;
    using ShellPort::CloseStatus;
    using ShellPort::LogEvent;
    using ShellPort::ShowMessageBox;
    using ShellPort::ShowStatus;
};

}  // namespace zelmo::app
