#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace zelmo::platform {

// What reading an account text file found, for the start-up to report once.
enum class TextFileState {
    Ok,          // read as GBK
    Missing,     // no such file: the defaults apply
    Unreadable,  // there, but it could not be read or decoded: it must not be overwritten
    Converted,   // UTF-8, converted to GBK for the program
};

struct TextFileReport {
    TextFileState state = TextFileState::Missing;
    std::string path;
    // Unreadable: why. Converted: why the original could not be kept, if it could not.
    std::string reason;
    // Converted: where the original UTF-8 bytes are kept; empty when not kept.
    std::string backup_path;
};

struct TextFile {
    TextFileReport report;
    std::string text;  // GBK; empty unless Ok or Converted
};

// Reads and decodes a whole text file (see DecodeAccountText); writes nothing. For the
// files the program only reads.
TextFile ReadTextFile(std::string_view path, std::size_t max_bytes = SIZE_MAX);

// As ReadTextFile, for a file the program will write back: the original bytes of a
// converted file are first kept as `path` + ".utf8-backup" (or "-2" ... "-9" after it when
// that name already holds other bytes).
TextFile ReadTextFileForUpdate(std::string_view path, std::size_t max_bytes = SIZE_MAX);

// False when writing over the file would lose bytes that were never read, or the UTF-8
// original of a converted file that could not be kept.
bool MayReplace(const TextFileReport& report);

// A path beside `path` that names no file yet: `path` + "." + tag + "-YYYYMMDD-HHMMSS" in
// local time (and "-2", "-3" ... when taken); empty when none is free.
std::string FreeSidePath(std::string_view path, std::string_view tag, std::time_t now);

}  // namespace zelmo::platform
