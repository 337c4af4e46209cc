#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace zelmo::onebot {

// A file the robot keeps for frameworks.
struct StoredFile {
    std::string file_id;  // 32 lower-case hex digits
    std::string name;     // as the framework named it (UTF-8)
    std::string path;     // where its bytes are
    std::string sha256;   // lower-case hex; empty when not yet known (a received file)
    std::string url;      // where it was fetched from; empty otherwise
};

// The file_id of the file a received message carries, known before its download: made from
// the message's MsgId in the store's id form.
std::string ReceivedFileId(std::string_view msg_id);

// The files upload_file keeps, each as "<file_id>" with "<file_id>.json" beside it (name,
// digest, source), in one folder made on first use; they outlive the run. A received file
// saved elsewhere has only its "<file_id>.json", naming where it is (no copy). Ids never
// name anything outside the folder. Any thread.
class FileStore {
public:
    FileStore(std::string folder, std::int64_t start_unix_ms);

    // Keeps the bytes as a new file; nothing when they could not be written.
    std::optional<StoredFile> Keep(std::string_view name, std::string_view bytes,
                                   std::string_view url = {});
    // Names a received file saved at `path` (file-system bytes) under its id; false when
    // that could not be written.
    bool KeepReceived(std::string_view file_id, std::string_view name, std::string_view path);
    // The file of an id; nothing for an unknown id, one of another form, or a file gone.
    std::optional<StoredFile> Find(std::string_view file_id) const;

    const std::string& Folder() const { return m_folder; }

private:
    std::string NewId(std::string_view name, std::string_view digest);

    std::string m_folder;
    std::string m_run;
    std::mutex m_mutex;
    std::uint64_t m_count = 0;
};

// True when `path` names a regular file inside `folder` once both are resolved (links,
// "..", "."); the resolved path in `resolved`.
bool IsInsideFolder(std::string_view folder, std::string_view path, std::string& resolved);

}  // namespace zelmo::onebot
