#include "app/GbkLiteral.h"

#include "platform/Encoding.h"

namespace zelmo::app {

std::string Gbk(std::string_view utf8) {
    return platform::Utf8ToGbk(utf8);
}

}  // namespace zelmo::app
