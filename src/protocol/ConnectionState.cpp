#include "protocol/ConnectionState.h"

#include "platform/GbkLiteral.h"

namespace zelmo::protocol {

std::string CaptionFor(int state) {
    // "5.3" belongs to the caption text, not to the program's version.
    switch (state) {
        case STATE_ONLINE:
            return platform::Gbk("Zelmo 5.3  在线");
        case STATE_OFFLINE:
            return platform::Gbk("Zelmo 5.3  离线");
        case STATE_LISTEN_FAILED:
            return platform::Gbk("Zelmo 5.3  监听失败");
        case STATE_REQUEST_FAILED:
            return platform::Gbk("Zelmo 5.3  请求失败");
        default:
            return {};
    }
}

}  // namespace zelmo::protocol
