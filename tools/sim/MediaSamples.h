#pragma once

#include <string>
#include <string_view>

#include "sim/Simulator.h"

namespace sim {

// The bytes the simulator serves for received media, the same on every run: a real small
// JPEG and GIF, an MP3 stand-in (an ID3 header and silent frames), an MP4 stand-in (its
// ftyp box and a filler mdat, large enough that a range and a cut matter) and a small PDF.
// Empty for kinds without media.
const std::string& MediaSample(MessageKind kind);

// The Content-Type the service gives each kind's download.
std::string_view MediaContentType(MessageKind kind);

}  // namespace sim
