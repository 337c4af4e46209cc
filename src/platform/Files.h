#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zelmo::platform {

// Plain file access; nothing here throws. Paths use "/".

// The whole file's bytes; empty when it is missing or unreadable.
std::string ReadFile(std::string_view path);

// Reads the whole file into `bytes`. True when it was read, or is missing (bytes empty);
// false when it exists but could not be read, so a caller never mistakes it for empty.
bool TryReadFile(std::string_view path, std::string& bytes);

// True when a file or folder exists at the path.
bool FileExists(std::string_view path);

// Writes the bytes to a temporary file in the same folder, flushes it to the disk and
// renames it over `path` (then flushes the folder), so readers and a power loss see
// either the old or the new file, never a half-written or empty one. A replaced file's
// permissions carry over. The temporary file is removed on failure. False when anything
// failed.
bool WriteFileAtomic(std::string_view path, std::string_view bytes);

// Creates the folder and its missing parents. True when the folder exists afterwards.
bool MakeDirectories(std::string_view path);

// Names (not paths) of the regular files directly in `folder` that match `wildcard`
// ("*" any run of bytes, "?" one byte, case-sensitive), sorted bytewise. Empty when the
// folder is missing.
std::vector<std::string> FindFiles(std::string_view folder, std::string_view wildcard);

// True when `name` matches the whole wildcard pattern (see FindFiles).
bool MatchWildcard(std::string_view name, std::string_view wildcard);

// Removes one file. True when it was there and is gone.
bool DeleteFile(std::string_view path);

// The absolute form of a path (relative ones start in the current directory); the path
// as given when the current directory cannot be read.
std::string AbsolutePath(std::string_view path);

}  // namespace zelmo::platform
