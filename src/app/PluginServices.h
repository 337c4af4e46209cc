#pragma once

#include <string>
#include <string_view>

#include "plugins/HostCalls.h"

namespace zelmo::app {

class Robot;

// The robot's side of the plugins' host calls: files go through the robot's sender, keys
// come from its contact keys, a message's file from its downloads.
class PluginServices final : public plugins::HostServices {
public:
    explicit PluginServices(Robot& robot) : m_robot(robot) {}

    std::string SendFile(std::string_view to, std::string_view path, bool picture) override;
    std::string KeyOf(std::string_view user_name) override;
    std::string UserNameOf(std::string_view key) override;
    std::string MediaOf(std::string_view item) override;

private:
    Robot& m_robot;
};

}  // namespace zelmo::app
