#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zelmo::media {

// The longest file name that reaches the file system, in bytes.
inline constexpr std::size_t MAX_NAME_BYTES = 100;

// A name from the service made safe for one folder (UTF-8 in and out): "/", "\" and control
// characters become "_", invalid UTF-8 bytes too, ".." runs shrink to one ".", leading dots
// and blanks go, and the rest is cut to `max_bytes` at a character boundary. May be empty.
std::string SafeFileName(std::string_view name, std::size_t max_bytes = MAX_NAME_BYTES);

// The extension (lowercase, no dot) a download gets: from the answer's Content-Type when it
// names a known type, else from the body's first bytes, else from the file name the message
// gives (letters and digits only, at most 8). Empty when none of them tells.
std::string MediaExtension(std::string_view content_type, std::string_view first_bytes,
                           std::string_view file_name);

// The saved file's name: the MsgId, for files "_" and the safe name's stem, then "." and
// the extension ("bin" when empty). At most MAX_NAME_BYTES bytes.
std::string MediaFileName(std::string_view msg_id, std::string_view extension,
                          std::string_view file_name);

// "<account_dir>/media/<YYYY-MM>" for a local time given in Unix milliseconds.
std::string MediaFolder(std::string_view account_dir, std::int64_t unix_ms);

// The MIME type that goes with an extension; "application/octet-stream" for unknown ones.
std::string MimeTypeOf(std::string_view extension);

// The extension of a path's last component (lowercase, no dot); empty when it has none.
std::string ExtensionOf(std::string_view path);

}  // namespace zelmo::media
