#pragma once

#include <cstdint>
#include <span>
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

// What reading a whole file found.
struct FileRead {
    enum class State { Read, Missing, Failed };
    State state = State::Missing;
    std::string bytes;  // empty unless read
    std::string error;  // Failed: why, in the system's words ("Permission denied")
};
// Reads the whole file. Missing covers a missing file or folder on the way; a folder in
// the file's place, a read error or a file longer than `max_bytes` is Failed.
FileRead ReadWholeFile(std::string_view path, std::size_t max_bytes = SIZE_MAX);

// True when a file or folder exists at the path.
bool FileExists(std::string_view path);

// Writes the bytes to a temporary file in the same folder, flushes it to the disk and
// renames it over `path` (then flushes the folder), so readers and a power loss see
// either the old or the new file, never a half-written or empty one. A replaced file's
// permissions carry over, from the temporary's creation on. The temporary file is removed
// on failure. False when anything failed.
bool WriteFileAtomic(std::string_view path, std::string_view bytes);
// The same with the pieces written one after another.
bool WriteFileAtomic(std::string_view path, std::span<const std::string_view> pieces);

// As WriteFileAtomic, with the permission bits of the file at `model` (a new file's usual
// ones when it is missing): a copy stays as private as its original.
bool WriteFileAtomicLike(std::string_view path, std::string_view bytes, std::string_view model);

// As WriteFileAtomic, the new file with exactly these permission bits from its creation
// on, whatever the file it replaces had.
bool WriteFileAtomicWithMode(std::string_view path, std::string_view bytes, unsigned mode);

// As WriteFileAtomic, and the file it replaces stays beside it as `path` + ".bak" (one
// generation: an older ".bak" goes), linked rather than copied where the file system
// allows. False, with the file untouched, when the new bytes or the backup could not be
// written.
bool WriteFileKeepingBackup(std::string_view path, std::span<const std::string_view> pieces);
bool WriteFileKeepingBackup(std::string_view path, std::string_view bytes);

// The name of the one-generation backup of `path`.
std::string BackupPath(std::string_view path);

// Creates the folder and its missing parents, each new one private to the user (0700
// less the umask): the robot's folders hold its session and chats. Folders already there
// stay as they are. Empty when the folder exists afterwards, else the system's reason.
std::string MakePrivateDirectories(std::string_view path);
// The same, true when the folder exists afterwards.
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
