#pragma once

#include <string_view>

namespace zelmo::platform {

// WriteFileAtomic for a file only its owner may read (mode 0600, tokens): private from the
// temporary's creation on, whatever mode the file it replaces had. False when anything
// failed; a failed write leaves the old file as it was.
bool WritePrivateFileAtomic(std::string_view path, std::string_view bytes);

// Makes a file readable and writable by its owner alone (mode 0600), creating it empty when
// it is missing, so the atomic writes that replace it keep that mode. False on failure.
bool KeepPrivate(std::string_view path);

}  // namespace zelmo::platform
