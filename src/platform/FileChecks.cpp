#include "platform/FileChecks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/Files.h"

namespace zelmo::platform {

namespace {

std::string Reason(int error) {
    return std::generic_category().message(error);
}

}  // namespace

std::string WritableFolderProblem(std::string_view path) {
    if (path.empty()) {
        return Reason(ENOENT);
    }
    const std::filesystem::path folder{std::string(path)};
    if (std::string problem = MakePrivateDirectories(path); !problem.empty()) {
        return problem;
    }
    // Only a real write says whether saves will work (permissions, a read-only mount, ACLs).
    const std::string probe =
        (folder / (".zelmo-write-check-" + std::to_string(::getpid()))).string();
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return Reason(errno);
    }
    const bool written = ::write(fd, "x", 1) == 1;
    const int write_error = errno;
    ::close(fd);
    ::unlink(probe.c_str());
    return written ? std::string() : Reason(write_error);
}

std::string ReadableFileProblem(std::string_view path) {
    const int fd = ::open(std::string(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return Reason(errno);
    }
    struct stat status {};
    const bool folder = ::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode);
    ::close(fd);
    return folder ? Reason(EISDIR) : std::string();
}

}  // namespace zelmo::platform
