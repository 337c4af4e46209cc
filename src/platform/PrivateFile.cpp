#include "platform/PrivateFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/Files.h"

namespace zelmo::platform {

bool KeepPrivate(std::string_view path) {
    const std::string name(path);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return false;
    }
    const bool private_mode = ::fchmod(fd, 0600) == 0;
    ::close(fd);
    return private_mode;
}

bool WritePrivateFileAtomic(std::string_view path, std::string_view bytes) {
    return WriteFileAtomicWithMode(path, bytes, 0600);
}

}  // namespace zelmo::platform
