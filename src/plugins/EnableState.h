#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "plugins/PluginHost.h"
#include "plugins/PluginPort.h"

namespace zelmo::plugins {

// The enable file of a library: its full path with ".ini" appended (A.mzp.so.ini).
std::string EnableFilePath(std::string_view account_dir, std::string_view file_name);
// Its section, "是否开启" (GBK); one key per entry, the entry's Name.
std::string EnableSection();

// Writes every record's flag as "1" or "0" to its library's enable file. Write failures
// are not reported.
void SaveEnableStates(const PluginHost& plugins, std::string_view account_dir);

// Sets record i's flag from checks[i]; records without a check keep theirs.
void ReadChecksIntoTable(PluginHost& plugins, const std::vector<bool>& checks);

// Sets one record's flag (0-based index); out of range does nothing.
void SetRecordEnabled(PluginHost& plugins, std::size_t index, bool enabled);

// The consent question for an entry that wants the account's cookie text (GBK).
std::string ConsentQuestion(std::string_view name);

// The user's toggle of record `index`: a record that wants the account is enabled only
// after a Yes to the consent question ("提示"). Returns the flag the record now has.
bool ToggleRecord(PluginHost& plugins, PluginPort& screen, std::size_t index, bool checked);

}  // namespace zelmo::plugins
