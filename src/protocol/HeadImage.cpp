#include "protocol/HeadImage.h"

namespace zelmo::protocol {

std::string FetchHeadImage(const ServiceLink& link, const ProtocolState& state) {
    if (state.own.HeadImgUrl.empty()) {
        return {};
    }
    platform::RequestOptions options;
    options.cookie_header = state.session.cookies;
    return link.web.Request(state.own.HeadImgUrl, options);
}

}  // namespace zelmo::protocol
