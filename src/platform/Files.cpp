#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <thread>

namespace zelmo::platform {

namespace fs = std::filesystem;

namespace {

fs::path ToPath(std::string_view path) {
    return fs::path(std::string(path));
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    // Closes now and reports whether the last buffered data reached the file.
    bool Close() {
        const int fd = m_fd;
        m_fd = -1;
        return fd >= 0 && ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool WriteAll(int fd, std::string_view bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t result = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (result < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        written += static_cast<std::size_t>(result);
    }
    return true;
}

// A name no other writer uses at the same time: process, thread, time and chance.
std::string TemporaryName(const fs::path& target, int attempt) {
    std::random_device seed;
    const auto thread_hash = std::hash<std::thread::id>{}(std::this_thread::get_id());
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    std::string name = "." + target.filename().string() + ".tmp-" + std::to_string(::getpid()) +
                       "-" + std::to_string(thread_hash % 100000) + "-" +
                       std::to_string(now % 1000000) + "-" + std::to_string(seed() % 100000) + "-" +
                       std::to_string(attempt);
    return (target.parent_path() / name).string();
}

// Best effort: some file systems refuse fsync on a folder, and the file is in place anyway.
void SyncFolder(const fs::path& folder) {
    const std::string name = folder.empty() ? std::string(".") : folder.string();
    const FileDescriptor dir(::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Valid()) {
        ::fsync(dir.Get());
    }
}

std::string ErrorText(int error) {
    char buffer[256];
    // The GNU strerror_r returns the text, which may or may not live in the buffer.
    return ::strerror_r(error, buffer, sizeof buffer);
}

FileRead Failure(FileRead result, std::string error) {
    result.state = FileRead::State::Failed;
    result.bytes.clear();
    result.bytes.shrink_to_fit();
    result.error = std::move(error);
    return result;
}

// Collects small pieces into whole blocks, so a file of a million short pieces is written
// in few calls; large pieces go out directly.
class BlockWriter {
public:
    explicit BlockWriter(int fd) : m_fd(fd) { m_buffer.reserve(BLOCK); }

    bool Write(std::string_view piece) {
        if (m_buffer.size() + piece.size() <= BLOCK) {
            m_buffer.append(piece);
            return true;
        }
        return Flush() && (piece.size() >= BLOCK ? WriteAll(m_fd, piece) : Append(piece));
    }
    bool Flush() {
        const bool written = WriteAll(m_fd, m_buffer);
        m_buffer.clear();
        return written;
    }

private:
    static constexpr std::size_t BLOCK = std::size_t{1} << 16;

    bool Append(std::string_view piece) {
        m_buffer.append(piece);
        return true;
    }

    int m_fd;
    std::string m_buffer;
};

// Keeps the file now at `target` as its ".bak": a hard link renamed into place, or a copy
// where the file system has no links. True when there is nothing to keep.
bool KeepPrevious(const fs::path& target) {
    struct stat status {};
    if (::lstat(target.c_str(), &status) != 0) {
        return errno == ENOENT;
    }
    if (!S_ISREG(status.st_mode)) {
        return true;
    }
    const fs::path backup = BackupPath(target.string());
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string link = TemporaryName(backup, attempt);
        if (::link(target.c_str(), link.c_str()) == 0) {
            if (::rename(link.c_str(), backup.c_str()) == 0) {
                return true;
            }
            ::unlink(link.c_str());
            return false;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    // A copy is as private as the file it keeps.
    FileRead previous = ReadWholeFile(target.string());
    return previous.state == FileRead::State::Read &&
           WriteFileAtomicLike(backup.string(), previous.bytes, target.string());
}

// The permission bits of the file at `path`; nothing when there is none.
std::optional<mode_t> ModeOf(const fs::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return status.st_mode & 0777;
}

// `mode`: the new file's permission bits; nothing keeps those of the file it replaces, or
// gives a new one what the umask leaves of 0666.
bool WriteAtomically(std::string_view path, std::span<const std::string_view> pieces,
                     bool keep_previous, std::optional<mode_t> mode = std::nullopt) {
    if (path.empty()) {
        return false;
    }
    const fs::path target = ToPath(path);
    if (!mode) {
        mode = ModeOf(target);
    }
    // The temporary is made with its final mode: between its creation and a later chmod
    // another user could open it and read every byte written afterwards.
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = TemporaryName(target, attempt);
        fd =
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode.value_or(0666));
        if (fd < 0 && errno != EEXIST) {
            return false;
        }
    }
    FileDescriptor file(fd);
    if (!file.Valid()) {
        return false;
    }
    // Only bits the umask took away come back (a shared file stays shared); nothing is
    // written yet.
    const bool moded = !mode || ::fchmod(file.Get(), *mode) == 0;
    bool written = moded;
    BlockWriter writer(file.Get());
    for (const std::string_view piece : pieces) {
        written = written && writer.Write(piece);
    }
    // The bytes reach the disk before the name points at them, or a power loss could leave
    // an empty file behind the new name.
    written = written && writer.Flush() && ::fsync(file.Get()) == 0;
    const bool closed = file.Close();
    if (!written || !closed || (keep_previous && !KeepPrevious(target)) ||
        ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    // And the rename itself: it lives in the folder.
    SyncFolder(target.parent_path());
    return true;
}

}  // namespace

FileRead ReadWholeFile(std::string_view path, std::size_t max_bytes) {
    FileRead result;
    const FileDescriptor file(::open(std::string(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.Valid()) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return result;
        }
        return Failure(std::move(result), ErrorText(errno));
    }
    struct stat status {};
    if (::fstat(file.Get(), &status) != 0) {
        return Failure(std::move(result), ErrorText(errno));
    }
    if (S_ISDIR(status.st_mode)) {
        return Failure(std::move(result), ErrorText(EISDIR));
    }
    // Sized once from the file's length, so a large file is not copied while it grows.
    if (S_ISREG(status.st_mode) && status.st_size > 0) {
        const auto size = static_cast<std::size_t>(status.st_size);
        if (size > max_bytes) {
            return Failure(std::move(result),
                           "larger than " + std::to_string(max_bytes) + " bytes");
        }
        result.bytes.reserve(size);
    }
    char buffer[65536];
    while (true) {
        const ssize_t count = ::read(file.Get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return Failure(std::move(result), ErrorText(errno));
        }
        if (count == 0) {
            result.state = FileRead::State::Read;
            return result;
        }
        if (result.bytes.size() + static_cast<std::size_t>(count) > max_bytes) {
            return Failure(std::move(result),
                           "larger than " + std::to_string(max_bytes) + " bytes");
        }
        result.bytes.append(buffer, static_cast<std::size_t>(count));
    }
}

bool TryReadFile(std::string_view path, std::string& bytes) {
    FileRead read = ReadWholeFile(path);
    bytes = std::move(read.bytes);
    return read.state != FileRead::State::Failed;
}

std::string ReadFile(std::string_view path) {
    std::string bytes;
    TryReadFile(path, bytes);
    return bytes;
}

bool FileExists(std::string_view path) {
    std::error_code error;
    return !path.empty() && fs::exists(ToPath(path), error);
}

bool WriteFileAtomic(std::string_view path, std::string_view bytes) {
    return WriteAtomically(path, std::span<const std::string_view>(&bytes, 1), false);
}

bool WriteFileAtomic(std::string_view path, std::span<const std::string_view> pieces) {
    return WriteAtomically(path, pieces, false);
}

bool WriteFileAtomicLike(std::string_view path, std::string_view bytes, std::string_view model) {
    return WriteAtomically(path, std::span<const std::string_view>(&bytes, 1), false,
                           ModeOf(ToPath(model)));
}

bool WriteFileAtomicWithMode(std::string_view path, std::string_view bytes, unsigned mode) {
    return WriteAtomically(path, std::span<const std::string_view>(&bytes, 1), false,
                           static_cast<mode_t>(mode & 0777));
}

bool WriteFileKeepingBackup(std::string_view path, std::span<const std::string_view> pieces) {
    return WriteAtomically(path, pieces, true);
}

bool WriteFileKeepingBackup(std::string_view path, std::string_view bytes) {
    return WriteAtomically(path, std::span<const std::string_view>(&bytes, 1), true);
}

std::string BackupPath(std::string_view path) {
    return std::string(path) + ".bak";
}

std::string MakePrivateDirectories(std::string_view path) {
    if (path.empty()) {
        return ErrorText(ENOENT);
    }
    const fs::path folder = ToPath(path);
    fs::path made;
    int error = 0;
    for (const fs::path& part : folder) {
        made /= part;
        if (::mkdir(made.c_str(), 0700) == 0 || errno == EEXIST) {
            error = 0;
        } else if (error == 0) {
            // The first failure says why; the folders below it fail as a consequence.
            error = errno;
        }
    }
    struct stat status {};
    if (::stat(folder.c_str(), &status) != 0) {
        return ErrorText(error != 0 ? error : errno);
    }
    return S_ISDIR(status.st_mode) ? std::string() : ErrorText(ENOTDIR);
}

bool MakeDirectories(std::string_view path) {
    return MakePrivateDirectories(path).empty();
}

bool MatchWildcard(std::string_view name, std::string_view wildcard) {
    // Greedy with one backtrack point: the last "*" seen. Linear in practice, and at
    // worst name length times pattern length, never exponential.
    std::size_t n = 0;
    std::size_t w = 0;
    std::size_t star = std::string_view::npos;
    std::size_t star_name = 0;
    while (n < name.size()) {
        if (w < wildcard.size() && (wildcard[w] == '?' || wildcard[w] == name[n])) {
            ++n;
            ++w;
        } else if (w < wildcard.size() && wildcard[w] == '*') {
            star = w++;
            star_name = n;
        } else if (star != std::string_view::npos) {
            w = star + 1;
            n = ++star_name;
        } else {
            return false;
        }
    }
    while (w < wildcard.size() && wildcard[w] == '*') {
        ++w;
    }
    return w == wildcard.size();
}

std::vector<std::string> FindFiles(std::string_view folder, std::string_view wildcard) {
    std::vector<std::string> names;
    std::error_code error;
    fs::directory_iterator entries(ToPath(folder), error);
    if (error) {
        return names;
    }
    for (const fs::directory_entry& entry : entries) {
        std::error_code status_error;
        if (!entry.is_regular_file(status_error)) {
            continue;
        }
        std::string name = entry.path().filename().string();
        if (MatchWildcard(name, wildcard)) {
            names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool DeleteFile(std::string_view path) {
    std::error_code error;
    const fs::path file = ToPath(path);
    if (path.empty() || fs::is_directory(fs::symlink_status(file, error))) {
        return false;
    }
    return fs::remove(file, error);
}

std::string AbsolutePath(std::string_view path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(ToPath(path), error);
    return error ? std::string(path) : absolute.lexically_normal().string();
}

}  // namespace zelmo::platform
