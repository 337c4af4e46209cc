#include "platform/GbkLiteral.h"

#include "platform/Encoding.h"

namespace zelmo::platform {

std::string Gbk(std::string_view utf8) {
    return Utf8ToGbk(utf8);
}

}  // namespace zelmo::platform
