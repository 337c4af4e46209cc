#include "sim/ServiceProfile.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace sim {

bool WriteServiceProfile(const std::string& path, const ServiceProfile& profile) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << "[service]\n"
            << "login_host=" << profile.login_host << "\n"
            << "web_host=" << profile.web_host << "\n"
            << "push_host=" << profile.push_host << "\n"
            << "file_host=" << profile.file_host << "\n"
            << "short_link_host=" << profile.short_link_host << "\n"
            << "connect_to=" << profile.connect_to << "\n"
            << "ca_file=" << profile.ca_file << "\n";
        if (!out.flush()) {
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    return !error;
}

std::string ExpandHost(const std::string& host_template, const std::string& fun) {
    std::string out = host_template;
    const std::size_t pos = out.find("{fun}");
    if (pos != std::string::npos) {
        out.replace(pos, 5, fun);
    }
    return out;
}

}  // namespace sim
