#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "contacts/ContactStore.h"

namespace zelmo::test {

// A fresh empty folder below the system temp folder, removed when the object dies.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// Makes a folder the process's current directory while it lives.
class CurrentDir {
public:
    explicit CurrentDir(const std::string& path);
    ~CurrentDir();
    CurrentDir(const CurrentDir&) = delete;
    CurrentDir& operator=(const CurrentDir&) = delete;

private:
    std::string m_previous;
};

// A contact record; kind is UTF-8 ("男", "微群", ...) or a raw value.
contacts::ContactRecord Contact(std::string_view user_name, std::string_view nickname_utf8,
                                std::string_view kind_utf8);

// Unix milliseconds of a local date and time.
std::int64_t LocalUnixMs(int year, int month, int day, int hour, int minute, int second);

}  // namespace zelmo::test
