#include "support/TestSupport.h"

#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "platform/GbkLiteral.h"

namespace zelmo::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zelmo-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
        m_path = pattern;
    }
}

TempDir::~TempDir() {
    std::error_code error;
    if (!m_path.empty()) {
        std::filesystem::remove_all(m_path, error);
    }
}

contacts::ContactRecord Contact(std::string_view user_name, std::string_view nickname_utf8,
                                std::string_view kind_utf8) {
    return contacts::ContactRecord{std::string("0"), platform::Gbk(kind_utf8),
                                   platform::Gbk(nickname_utf8), std::string(user_name)};
}

CurrentDir::CurrentDir(const std::string& path)
    : m_previous(std::filesystem::current_path().string()) {
    std::filesystem::current_path(path);
}

CurrentDir::~CurrentDir() {
    if (::chdir(m_previous.c_str()) != 0) {
        std::abort();
    }
}

std::int64_t LocalUnixMs(int year, int month, int day, int hour, int minute, int second) {
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    parts.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&parts)) * 1000;
}

}  // namespace zelmo::test
