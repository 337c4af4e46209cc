#pragma once

#include <memory>
#include <string>
#include <vector>

namespace zelmo::platform {
class SharedLibrary;
}

namespace zelmo::plugins {

// One accepted entry of a plugin library's description (GBK texts).
struct PluginRecord {
    std::string Name;
    std::string Version;
    std::string Author;
    std::string Intro;
    std::string Prefix;
    std::string ParamHint;
    std::string Suffix;
    std::string Function;
    int Listed = 2;             // 1: shown in the function list
    bool WantsAccount = false;  // receives the account's cookie text (needs consent)
    std::string FileName;       // the library's file name, without folder (file-system bytes)
    bool Enabled = false;
    // The scan's load of the library, shared by the records of one file. It keeps the
    // library mapped, with its state, while any published table or a dispatch in progress
    // holds it, and releases it once none does (after an uninstall or a rescan that no
    // longer finds the file).
    std::shared_ptr<platform::SharedLibrary> Library;
};

// The records in discovery order (record i at index i-1). Never changed once published:
// a rescan or an enable change publishes a new table.
using PluginTable = std::vector<PluginRecord>;
using PluginTableSnapshot = std::shared_ptr<const PluginTable>;

}  // namespace zelmo::plugins
