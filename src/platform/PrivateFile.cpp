#include "platform/PrivateFile.h"

#include "platform/Files.h"

namespace zelmo::platform {

bool WritePrivateFileAtomic(std::string_view path, std::string_view bytes) {
    return WriteFileAtomicWithMode(path, bytes, 0600);
}

}  // namespace zelmo::platform
