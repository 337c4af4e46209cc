#pragma once

#include <string_view>

namespace zelmo::platform {

// WriteFileAtomic for a file only its owner may read (mode 0600, tokens): the file is made
// private before any byte reaches it, and the replace keeps that mode. False when anything
// failed; a failed write leaves the old file as it was.
bool WritePrivateFileAtomic(std::string_view path, std::string_view bytes);

}  // namespace zelmo::platform
