#pragma once

#include "platform/Clock.h"
#include "platform/WebClient.h"
#include "protocol/ServiceProfile.h"

namespace zelmo::protocol {

// What every exchange with the service talks through.
struct ServiceLink {
    const platform::WebClient& web;
    const ServiceProfile& profile;
    platform::Clock& clock;
};

}  // namespace zelmo::protocol
