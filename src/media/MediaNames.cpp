#include "media/MediaNames.h"

#include <ctime>

namespace zelmo::media {

namespace {

constexpr std::size_t MAX_EXTENSION = 8;

// Length of the valid UTF-8 sequence at `pos`; 0 when the bytes there are none.
std::size_t Utf8Length(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = 0;
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
    } else {
        return 0;
    }
    if (pos + length > text.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[pos + i]) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// The cut keeps whole characters: it never ends inside a UTF-8 sequence.
std::string CutUtf8(std::string_view text, std::size_t max_bytes) {
    if (text.size() <= max_bytes) {
        return std::string(text);
    }
    std::size_t end = max_bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return std::string(text.substr(0, end));
}

struct TypeName {
    std::string_view mime;
    std::string_view extension;
};
constexpr TypeName TYPES[] = {
    {"image/jpeg", "jpg"},      {"image/jpg", "jpg"},  {"image/png", "png"},
    {"image/gif", "gif"},       {"image/bmp", "bmp"},  {"image/webp", "webp"},
    {"audio/mpeg", "mp3"},      {"audio/mp3", "mp3"},  {"audio/amr", "amr"},
    {"audio/silk", "silk"},     {"video/mp4", "mp4"},  {"application/pdf", "pdf"},
    {"application/zip", "zip"}, {"text/plain", "txt"}, {"image/jpeg", "jpeg"},
};

std::string FromContentType(std::string_view content_type) {
    std::string type;
    for (const char c : content_type.substr(0, content_type.find(';'))) {
        if (c != ' ' && c != '\t') {
            type.push_back(Lower(c));
        }
    }
    for (const TypeName& known : TYPES) {
        if (known.mime == type) {
            return std::string(known.extension);
        }
    }
    return {};
}

std::string FromMagic(std::string_view bytes) {
    const auto starts = [bytes](std::string_view magic, std::size_t at = 0) {
        return bytes.size() >= at + magic.size() && bytes.substr(at, magic.size()) == magic;
    };
    if (starts("\xFF\xD8\xFF")) {
        return "jpg";
    }
    if (starts("\x89PNG")) {
        return "png";
    }
    if (starts("GIF8")) {
        return "gif";
    }
    if (starts("RIFF") && starts("WEBP", 8)) {
        return "webp";
    }
    if (starts("ID3") || starts("\xFF\xFB") || starts("\xFF\xF3") || starts("\xFF\xF2")) {
        return "mp3";
    }
    if (starts("ftyp", 4)) {
        return "mp4";
    }
    if (starts("%PDF")) {
        return "pdf";
    }
    if (starts("#!SILK") || starts("\x02#!SILK")) {
        return "silk";
    }
    if (starts("#!AMR")) {
        return "amr";
    }
    if (starts("PK\x03\x04")) {
        return "zip";
    }
    if (starts("BM")) {
        return "bmp";
    }
    return {};
}

}  // namespace

std::string SafeFileName(std::string_view name, std::size_t max_bytes) {
    std::string safe;
    safe.reserve(name.size());
    std::size_t pos = 0;
    while (pos < name.size()) {
        const std::size_t length = Utf8Length(name, pos);
        const auto byte = static_cast<unsigned char>(name[pos]);
        if (length == 0 || byte < 0x20 || byte == 0x7F || byte == '/' || byte == '\\') {
            safe.push_back('_');
            pos += length == 0 ? 1 : length;
            continue;
        }
        if (byte == '.' && !safe.empty() && safe.back() == '.') {
            ++pos;
            continue;
        }
        safe.append(name.substr(pos, length));
        pos += length;
    }
    const std::size_t first = safe.find_first_not_of(". ");
    safe.erase(0, first == std::string::npos ? safe.size() : first);
    return CutUtf8(safe, max_bytes);
}

std::string MediaExtension(std::string_view content_type, std::string_view first_bytes,
                           std::string_view file_name) {
    std::string extension = FromContentType(content_type);
    if (extension.empty()) {
        extension = FromMagic(first_bytes);
    }
    if (extension.empty()) {
        extension = ExtensionOf(file_name);
    }
    return extension;
}

std::string ExtensionOf(std::string_view path) {
    const std::string_view name = path.substr(path.rfind('/') + 1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) {
        return {};
    }
    const std::string_view tail = name.substr(dot + 1);
    if (tail.empty() || tail.size() > MAX_EXTENSION) {
        return {};
    }
    std::string extension;
    for (const char c : tail) {
        if (!IsAlnum(c)) {
            return {};
        }
        extension.push_back(Lower(c));
    }
    return extension;
}

std::string MediaFileName(std::string_view msg_id, std::string_view extension,
                          std::string_view file_name) {
    const std::string id = SafeFileName(msg_id, MAX_NAME_BYTES / 2);
    const std::string suffix = "." + std::string(extension.empty() ? "bin" : extension);
    std::string name = id.empty() ? "media" : id;
    std::string stem = SafeFileName(file_name);
    const std::size_t dot = stem.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        stem.resize(dot);
    }
    if (!stem.empty() && name.size() + 1 + suffix.size() < MAX_NAME_BYTES) {
        name += "_" + CutUtf8(stem, MAX_NAME_BYTES - name.size() - 1 - suffix.size());
    }
    return CutUtf8(name, MAX_NAME_BYTES - suffix.size()) + suffix;
}

std::string MediaFolder(std::string_view account_dir, std::int64_t unix_ms) {
    const auto seconds = static_cast<std::time_t>(unix_ms / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char month[16];
    std::strftime(month, sizeof month, "%Y-%m", &local);
    return std::string(account_dir) + "/media/" + month;
}

std::string MimeTypeOf(std::string_view extension) {
    std::string lower;
    for (const char c : extension) {
        lower.push_back(Lower(c));
    }
    for (const TypeName& known : TYPES) {
        if (known.extension == lower) {
            return std::string(known.mime);
        }
    }
    return "application/octet-stream";
}

}  // namespace zelmo::media
