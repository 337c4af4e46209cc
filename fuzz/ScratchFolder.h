#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

// A folder of its own for a fuzz target that goes through files, in memory where there is
// one: each input is written and saved there. Removed when the run ends.
inline const std::string& Folder() {
    struct Owned {
        std::string path;
        Owned() {
            std::string pattern = std::filesystem::exists("/dev/shm") ? "/dev/shm/zelmo-fuzz-XXXXXX"
                                                                      : "/tmp/zelmo-fuzz-XXXXXX";
            if (::mkdtemp(pattern.data()) != nullptr) {
                path = pattern;
            }
        }
        ~Owned() {
            std::error_code error;
            if (!path.empty()) {
                std::filesystem::remove_all(path, error);
            }
        }
        Owned(const Owned&) = delete;
        Owned& operator=(const Owned&) = delete;
    };
    static const Owned folder;
    return folder.path;
}
