#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zelmo::platform {

// Files read and written piece by piece, for files too large to hold whole. Nothing here
// throws; errors are the system's words ("No space left on device").

// What tells one version of a file from another without reading it: the file (device and
// inode), its size and its modification time. A file written anew gets a new time, or a new
// inode when it was replaced by a rename.
struct FileVersion {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modified_ns = 0;

    bool operator==(const FileVersion&) const = default;
};

// A regular file opened for reading front to back.
class FileReader {
public:
    explicit FileReader(std::string_view path);
    ~FileReader();
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    // Open: the path named a readable regular file.
    bool IsOpen() const { return m_fd >= 0; }
    // Why it could not be opened or read; empty while all is well.
    const std::string& Error() const { return m_error; }
    std::uint64_t Size() const { return m_size; }
    std::int64_t ModifiedUnixMs() const { return m_modified_ms; }
    // The version opened (all zero when not open).
    const FileVersion& Version() const { return m_version; }

    // Reads up to `count` bytes into `buffer`, fewer only at the end. 0 at the end and on an
    // error (Error() says which).
    std::size_t Read(char* buffer, std::size_t count);
    // Back to the first byte; false on an error.
    bool Rewind();

private:
    int m_fd = -1;
    std::string m_error;
    std::uint64_t m_size = 0;
    std::int64_t m_modified_ms = 0;
    FileVersion m_version;
};

// A new file written under a temporary name in its folder and renamed into place by
// Commit(); until then nobody sees it under its final name, and a file never committed is
// removed when the object dies.
class PartFile {
public:
    // Creates the temporary file in `folder` (which must exist).
    explicit PartFile(std::string_view folder);
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    const std::string& Error() const { return m_error; }
    std::uint64_t Written() const { return m_written; }

    // Appends; false (Error() says why) when the bytes did not all reach the file.
    bool Write(std::string_view bytes);
    // Flushes to the disk and renames the file to `path` (in the same folder), replacing
    // any file of that name. False, and the temporary removed, on failure.
    bool Commit(std::string_view path);
    // Removes the temporary file now.
    void Discard();

private:
    int m_fd = -1;
    std::string m_path;
    std::string m_error;
    std::uint64_t m_written = 0;
};

// Bytes an unprivileged writer may still put on the file system holding `path`; nothing
// when the system cannot tell.
std::optional<std::uint64_t> FreeBytes(std::string_view path);

}  // namespace zelmo::platform
