#include "platform/FileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace zelmo::platform {

namespace {

std::string ErrorText(int error) {
    char buffer[256];
    // The GNU strerror_r returns the text, which may or may not live in the buffer.
    return ::strerror_r(error, buffer, sizeof buffer);
}

constexpr int MAX_NAME_TRIES = 16;

}  // namespace

FileReader::FileReader(std::string_view path) {
    m_fd = ::open(std::string(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        m_error = ErrorText(errno);
        return;
    }
    struct stat status {};
    const bool known = ::fstat(m_fd, &status) == 0;
    if (!known || !S_ISREG(status.st_mode)) {
        m_error = ErrorText(!known ? errno : S_ISDIR(status.st_mode) ? EISDIR : EINVAL);
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_size = static_cast<std::uint64_t>(status.st_size);
    m_modified_ms =
        static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000 + status.st_mtim.tv_nsec / 1000000;
    m_version = {
        static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino),
        m_size,
        static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec};
}

FileReader::~FileReader() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

std::size_t FileReader::Read(char* buffer, std::size_t count) {
    if (m_fd < 0) {
        return 0;
    }
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::read(m_fd, buffer + done, count - done);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            m_error = ErrorText(errno);
            return 0;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

bool FileReader::Rewind() {
    if (m_fd < 0 || ::lseek(m_fd, 0, SEEK_SET) != 0) {
        m_error = m_fd < 0 ? m_error : ErrorText(errno);
        return false;
    }
    return true;
}

PartFile::PartFile(std::string_view folder) {
    std::random_device seed;
    for (int attempt = 0; attempt < MAX_NAME_TRIES && m_fd < 0; ++attempt) {
        m_path = std::string(folder) + "/.part-" + std::to_string(::getpid()) + "-" +
                 std::to_string(seed() % 1000000000);
        m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (m_fd < 0) {
        m_error = ErrorText(errno);
        m_path.clear();
    }
}

PartFile::~PartFile() {
    Discard();
}

bool PartFile::Write(std::string_view bytes) {
    if (m_fd < 0) {
        return false;
    }
    while (!bytes.empty()) {
        const ssize_t put = ::write(m_fd, bytes.data(), bytes.size());
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            m_error = ErrorText(errno);
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(put));
        m_written += static_cast<std::uint64_t>(put);
    }
    return true;
}

bool PartFile::Commit(std::string_view path) {
    if (m_fd < 0) {
        return false;
    }
    // The bytes reach the disk before the name points at them: a power loss must not leave
    // an empty file under the final name.
    const bool synced = ::fdatasync(m_fd) == 0;
    const int sync_error = errno;
    const bool closed = ::close(m_fd) == 0;
    m_fd = -1;
    if (!synced || !closed) {
        m_error = ErrorText(synced ? errno : sync_error);
        Discard();
        return false;
    }
    if (::rename(m_path.c_str(), std::string(path).c_str()) != 0) {
        m_error = ErrorText(errno);
        Discard();
        return false;
    }
    m_path.clear();
    return true;
}

void PartFile::Discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_path.empty()) {
        ::unlink(m_path.c_str());
        m_path.clear();
    }
}

std::optional<std::uint64_t> FreeBytes(std::string_view path) {
    struct statvfs status {};
    if (::statvfs(std::string(path).c_str(), &status) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(status.f_bavail) * status.f_frsize;
}

}  // namespace zelmo::platform
