#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "FuzzInput.h"
#include "ScratchFolder.h"
#include "config/Settings.h"
#include "platform/Files.h"
#include "platform/TextDecoding.h"

namespace {

// A value is at most the file and never holds a line feed (a lone CR is a byte of its
// line).
bool Bounded(const std::string& value, std::size_t limit) {
    return value.size() <= limit && value.find('\n') == std::string::npos;
}

}  // namespace

// Input: the bytes of mzset.ini. The reader's texts come from the file (or are defaults)
// and hold no line feed; a file that may be replaced saves, and saving what was read
// changes nothing more the second time; a UTF-8 file's original is kept byte for byte; a
// file that cannot be decoded is never written.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelmo;
    if (Folder().empty()) {
        return 0;
    }
    const std::string file(FuzzText(data, size));
    const std::string path = Folder() + "/mzset.ini";
    std::filesystem::remove_all(Folder());
    std::filesystem::create_directory(Folder());
    FUZZ_CHECK(platform::WriteFileAtomic(path, file));

    std::string reason;
    const platform::TextEncoding encoding = platform::DetectTextEncoding(file, reason);
    const config::SettingsFile loaded = config::LoadSettingsFile(path);
    const std::size_t limit = std::max<std::size_t>(file.size(), 16);
    for (const std::string* text :
         {&loaded.settings.机器人姓名, &loaded.settings.列表词, &loaded.settings.屏蔽uin,
          &loaded.settings.回复几率, &loaded.settings.群管_加, &loaded.settings.群管_邀,
          &loaded.settings.群管_移, &loaded.mass.消息延时, &loaded.mass.重复几遍,
          &loaded.mass.重复延时}) {
        FUZZ_CHECK(Bounded(*text, limit));
    }
    FUZZ_CHECK(config::LoadSettings(path) == loaded.settings);
    FUZZ_CHECK(config::LoadMassSettings(path) == loaded.mass);

    switch (encoding) {
        case platform::TextEncoding::Undecodable:
            FUZZ_CHECK(loaded.report.state == platform::TextFileState::Unreadable);
            FUZZ_CHECK(!config::SaveSettings(path, loaded.settings));
            FUZZ_CHECK(platform::ReadFile(path) == file);
            return 0;
        case platform::TextEncoding::Utf8:
            FUZZ_CHECK(loaded.report.state == platform::TextFileState::Converted);
            FUZZ_CHECK(platform::ReadFile(loaded.report.backup_path) == file);
            break;
        case platform::TextEncoding::Gbk:
            FUZZ_CHECK(loaded.report.state == platform::TextFileState::Ok);
            break;
    }
    FUZZ_CHECK(config::SaveSettings(path, loaded.settings));
    FUZZ_CHECK(config::SaveMassSettings(path, loaded.mass));
    FUZZ_CHECK(platform::ReadFile(platform::BackupPath(path)).size() <= file.size() + 4096);
    const config::SettingsFile again = config::LoadSettingsFile(path);
    const std::string saved = platform::ReadFile(path);
    FUZZ_CHECK(config::SaveSettings(path, again.settings));
    FUZZ_CHECK(config::SaveMassSettings(path, again.mass));
    FUZZ_CHECK(platform::ReadFile(path) == saved);
    FUZZ_CHECK(config::LoadSettings(path) == again.settings);
    return 0;
}
