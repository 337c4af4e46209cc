#include "onebot/FileStore.h"

#include <filesystem>
#include <system_error>

#include "platform/Files.h"
#include "platform/Json.h"
#include "platform/Sha256.h"

namespace zelmo::onebot {

namespace {

constexpr std::size_t ID_LENGTH = 32;
constexpr std::size_t MAX_META_BYTES = std::size_t{64} * 1024;

bool IsFileId(std::string_view id) {
    return id.size() == ID_LENGTH &&
           id.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

}  // namespace

std::string ReceivedFileId(std::string_view msg_id) {
    return platform::Sha256Hex("received:" + std::string(msg_id)).substr(0, ID_LENGTH);
}

FileStore::FileStore(std::string folder, std::int64_t start_unix_ms)
    : m_folder(std::move(folder)), m_run(std::to_string(start_unix_ms)) {}

std::string FileStore::NewId(std::string_view name, std::string_view digest) {
    std::uint64_t count = 0;
    {
        std::lock_guard lock(m_mutex);
        count = ++m_count;
    }
    return platform::Sha256Hex(m_run + "/" + std::to_string(count) + "/" + std::string(digest) +
                               "/" + std::string(name))
        .substr(0, ID_LENGTH);
}

std::optional<StoredFile> FileStore::Keep(std::string_view name, std::string_view bytes,
                                          std::string_view url) {
    if (m_folder.empty() || !platform::MakeDirectories(m_folder)) {
        return std::nullopt;
    }
    StoredFile file;
    file.sha256 = platform::Sha256Hex(bytes);
    file.file_id = NewId(name, file.sha256);
    file.name = std::string(name);
    file.url = std::string(url);
    file.path = m_folder + "/" + file.file_id;
    platform::Json meta = platform::Json::MakeObject();
    meta.Set("name", file.name);
    meta.Set("sha256", file.sha256);
    meta.Set("url", file.url);
    if (!platform::WriteFileAtomic(file.path, bytes) ||
        !platform::WriteFileAtomic(file.path + ".json", platform::WriteJson(meta))) {
        platform::DeleteFile(file.path);
        return std::nullopt;
    }
    return file;
}

bool FileStore::KeepReceived(std::string_view file_id, std::string_view name,
                             std::string_view path) {
    if (!IsFileId(file_id) || m_folder.empty() || !platform::MakeDirectories(m_folder)) {
        return false;
    }
    platform::Json meta = platform::Json::MakeObject();
    meta.Set("name", name);
    meta.Set("sha256", "");
    meta.Set("url", "");
    meta.Set("path", path);
    return platform::WriteFileAtomic(m_folder + "/" + std::string(file_id) + ".json",
                                     platform::WriteJson(meta));
}

std::optional<StoredFile> FileStore::Find(std::string_view file_id) const {
    if (!IsFileId(file_id) || m_folder.empty()) {
        return std::nullopt;
    }
    const std::string kept = m_folder + "/" + std::string(file_id);
    const platform::FileRead meta = platform::ReadWholeFile(kept + ".json", MAX_META_BYTES);
    if (meta.state != platform::FileRead::State::Read) {
        return std::nullopt;
    }
    const std::optional<platform::Json> fields = platform::ParseJson(meta.bytes);
    if (!fields || !fields->IsObject()) {
        return std::nullopt;
    }
    const platform::Json* elsewhere = fields->Find("path");
    const std::string path =
        elsewhere != nullptr && elsewhere->IsString() && !elsewhere->AsString().empty()
            ? elsewhere->AsString()
            : kept;
    if (!platform::FileExists(path)) {
        return std::nullopt;
    }
    StoredFile file;
    file.file_id = std::string(file_id);
    file.path = path;
    if (const platform::Json* name = fields->Find("name")) {
        file.name = name->AsString();
    }
    if (const platform::Json* sha256 = fields->Find("sha256")) {
        file.sha256 = sha256->AsString();
    }
    if (const platform::Json* url = fields->Find("url")) {
        file.url = url->AsString();
    }
    return file;
}

bool IsInsideFolder(std::string_view folder, std::string_view path, std::string& resolved) {
    if (folder.empty() || path.empty()) {
        return false;
    }
    std::error_code error;
    const std::filesystem::path root = std::filesystem::canonical(std::string(folder), error);
    if (error) {
        return false;
    }
    const std::filesystem::path file = std::filesystem::canonical(std::string(path), error);
    if (error || !std::filesystem::is_regular_file(file, error)) {
        return false;
    }
    // Compared part by part, so "/data/files-other" is not inside "/data/files".
    auto root_part = root.begin();
    auto file_part = file.begin();
    for (; root_part != root.end(); ++root_part, ++file_part) {
        if (file_part == file.end() || *root_part != *file_part) {
            return false;
        }
    }
    if (file_part == file.end()) {
        return false;
    }
    resolved = file.string();
    return true;
}

}  // namespace zelmo::onebot
