#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zelmo::platform {

// Byte-level INI files in GBK. Sections and keys compare ASCII-case-insensitively (GBK
// characters exactly), blanks around keys and values are trimmed, the first matching
// section and key win, CRLF and LF files both read. A missing file, section or key gives
// the default. Every call reads the file anew; nothing is cached. A file in UTF-8 is read
// as its GBK conversion (see DecodeAccountText).

struct IniEntry {
    std::string key;
    std::string value;
};

std::string ReadIniItem(std::string_view path, std::string_view section, std::string_view key,
                        std::string_view default_value = {});

// Sets one item, keeping every other line, comment and unknown key; creates the file,
// section or key when missing. The file is replaced atomically and the one it replaces
// kept as its ".bak"; a UTF-8 file is written back as GBK after its original is kept (see
// ReadTextFileForUpdate). False (file untouched) when it could not be read, decoded or
// written, when the section, key or value holds a line
// break (which would corrupt the file), the section a "]" or a last byte that would pair
// with the closing "]" as a GBK character, or the key a "=" or nothing, or when the key
// begins with "[", ";" or "#" (it would read as a header or a comment).
bool WriteIniItem(std::string_view path, std::string_view section, std::string_view key,
                  std::string_view value);

// Exactly "0" or "假" reads as false, any other present value as true.
bool ReadIniBool(std::string_view path, std::string_view section, std::string_view key,
                 bool default_value);

// Writes "1" or "0".
bool WriteIniBool(std::string_view path, std::string_view section, std::string_view key,
                  bool value);

// Every key of the section with its value, in file order; empty when the section is missing.
std::vector<IniEntry> ReadIniSection(std::string_view path, std::string_view section);

// The same operations on INI text already in memory (for callers that read many items).
std::string IniTextItem(std::string_view text, std::string_view section, std::string_view key,
                        std::string_view default_value = {});
std::vector<IniEntry> IniTextSection(std::string_view text, std::string_view section);
// The text with one item set; false (text untouched) for the inputs WriteIniItem refuses.
bool SetIniTextItem(std::string& text, std::string_view section, std::string_view key,
                    std::string_view value);

// The INI boolean rule on a value read as text.
bool IniTextToBool(std::string_view value);

}  // namespace zelmo::platform
