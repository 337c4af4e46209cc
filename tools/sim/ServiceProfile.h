#pragma once

#include <string>

namespace sim {

struct ServiceProfile {
    std::string login_host;
    std::string web_host;   // template with {fun}
    std::string push_host;  // template with {fun}
    std::string file_host;  // template with {fun}
    std::string short_link_host;
    std::string connect_to;  // HOST:PORT
    std::string ca_file;     // absolute path
};

// Writes the [service] INI that the client's --service option reads, replacing the file
// whole. False on failure.
bool WriteServiceProfile(const std::string& path, const ServiceProfile& profile);

// `host_template` with "{fun}" replaced by `fun`.
std::string ExpandHost(const std::string& host_template, const std::string& fun);

}  // namespace sim
