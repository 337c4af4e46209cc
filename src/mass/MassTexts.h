#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "mass/MassState.h"

namespace zelmo::mass {

// The text file's block format: blocks apart by CR LF CR LF, lines by CR LF; line 1 is
// the type label, every further line one text with that label. Blocks with fewer than
// two lines, empty lines before a label and empty texts are skipped; bare line feeds
// (a file edited elsewhere) count as CR LF. Takes any bytes.
std::vector<AdText> ParseMassTexts(std::string_view file_text);

// One block per row (label CR LF text), blocks joined by CR LF CR LF, nothing after the
// last.
std::string SerializeMassTexts(const std::vector<TextRow>& rows);

}  // namespace zelmo::mass
