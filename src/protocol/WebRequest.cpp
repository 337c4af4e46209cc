#include "protocol/WebRequest.h"

#include "platform/Encoding.h"

namespace zelmo::protocol {

namespace {

std::string Post(const ServiceLink& link, const ProtocolState& state,
                 std::string_view path_template, std::string_view body_template,
                 const CallValues& call, int timeout_s, bool repeatable) {
    // URL and body are filled apart, so each carries its own time stamp.
    const std::string url = WebUrl(link.profile, state.session.fun) +
                            FillTemplate(path_template, state, link.clock, call);
    const std::string body =
        platform::GbkToUtf8(FillTemplate(body_template, state, link.clock, call));
    platform::RequestOptions options;
    options.method = "post";
    options.body = body;
    options.cookie_header = state.session.cookies;
    options.timeout_s = timeout_s;
    options.repeatable = repeatable;
    return link.web.Request(url, options);
}

}  // namespace

std::string PostToWebHost(const ServiceLink& link, const ProtocolState& state,
                          std::string_view path_template, std::string_view body_template,
                          const CallValues& call, int timeout_s) {
    return Post(link, state, path_template, body_template, call, timeout_s, false);
}

std::string PostReadToWebHost(const ServiceLink& link, const ProtocolState& state,
                              std::string_view path_template, std::string_view body_template,
                              const CallValues& call, int timeout_s) {
    return Post(link, state, path_template, body_template, call, timeout_s, true);
}

}  // namespace zelmo::protocol
