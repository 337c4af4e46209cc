#pragma once

#include <string>
#include <string_view>

namespace zelmo::platform {

// Checks made before a run relies on a path, so that a mistake is named at the start
// instead of surfacing later as a lost save. Each returns the system's reason (such as
// "Permission denied" or "Not a directory") or an empty text when all is well.

// Creates the folder and its parents when missing (private, as MakePrivateDirectories),
// then creates and removes a file in it.
std::string WritableFolderProblem(std::string_view path);

// Opens the file for reading.
std::string ReadableFileProblem(std::string_view path);

}  // namespace zelmo::platform
