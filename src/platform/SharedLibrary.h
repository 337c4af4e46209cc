#pragma once

#include <string>
#include <string_view>

namespace zelmo::platform {

// One loaded shared library, closed when the object dies. The system counts loads:
// opening the same file twice maps it once, and closing one handle keeps the other valid.
// Not thread-safe as an object; distinct objects may be used from different threads.
class SharedLibrary {
public:
    SharedLibrary() = default;
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;
    SharedLibrary(SharedLibrary&& other) noexcept;
    SharedLibrary& operator=(SharedLibrary&& other) noexcept;

    // Loads the library with every symbol resolved now and kept local; closes any library
    // held before. False on failure, with the reason in Error().
    bool Open(std::string_view path);
    void Close();
    bool IsOpen() const { return m_handle != nullptr; }
    // The exported symbol's address; nullptr (reason in Error()) when absent or not open.
    void* Symbol(std::string_view name);
    // The last failure's text; empty when the last call succeeded.
    const std::string& Error() const { return m_error; }

private:
    void* m_handle = nullptr;
    std::string m_error;
};

}  // namespace zelmo::platform
