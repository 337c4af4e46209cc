#include "platform/RotatingFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "platform/Files.h"

namespace zelmo::platform {

namespace {

std::string Numbered(const std::string& path, int number) {
    return path + "." + std::to_string(number);
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

bool SameFile(int fd, const std::string& path) {
    struct stat open_file {};
    struct stat named_file {};
    return ::fstat(fd, &open_file) == 0 && ::stat(path.c_str(), &named_file) == 0 &&
           open_file.st_dev == named_file.st_dev && open_file.st_ino == named_file.st_ino;
}

}  // namespace

RotatingFile::RotatingFile(std::string path, std::size_t max_bytes, int files)
    : m_path(std::move(path)), m_max_bytes(max_bytes), m_files(files < 1 ? 1 : files) {}

RotatingFile::~RotatingFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool RotatingFile::OpenCurrent() {
    // The file may have been rotated by another instance or removed by the user since:
    // writing on into an unnamed file would lose every later line.
    if (m_fd >= 0 && SameFile(m_fd, m_path)) {
        return true;
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    const std::string folder = FolderOf(m_path);
    if (!folder.empty() && !MakeDirectories(folder)) {
        return false;
    }
    m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (m_fd < 0) {
        return false;
    }
    struct stat status {};
    m_size = ::fstat(m_fd, &status) == 0 ? static_cast<std::size_t>(status.st_size) : 0;
    return true;
}

void RotatingFile::Rotate() {
    ::close(m_fd);
    m_fd = -1;
    // Renaming onto the last number drops the oldest file.
    for (int number = m_files - 1; number >= 2; --number) {
        std::rename(Numbered(m_path, number - 1).c_str(), Numbered(m_path, number).c_str());
    }
    if (m_files > 1) {
        std::rename(m_path.c_str(), Numbered(m_path, 1).c_str());
    } else {
        ::unlink(m_path.c_str());
    }
}

bool RotatingFile::Append(std::string_view bytes) {
    std::lock_guard lock(m_mutex);
    if (m_path.empty() || !OpenCurrent()) {
        return false;
    }
    if (m_size > 0 && m_size + bytes.size() > m_max_bytes) {
        Rotate();
        if (!OpenCurrent()) {
            return false;
        }
    }
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t result = ::write(m_fd, bytes.data() + written, bytes.size() - written);
        if (result < 0 && errno == EINTR) {
            continue;
        }
        if (result <= 0) {
            return false;
        }
        written += static_cast<std::size_t>(result);
        m_size += static_cast<std::size_t>(result);
    }
    return true;
}

}  // namespace zelmo::platform
