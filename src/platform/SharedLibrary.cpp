#include "platform/SharedLibrary.h"

#include <dlfcn.h>

#include <utility>

namespace zelmo::platform {

namespace {

std::string LastDlError(const char* fallback) {
    const char* text = dlerror();
    return text != nullptr ? std::string(text) : std::string(fallback);
}

}  // namespace

SharedLibrary::~SharedLibrary() {
    Close();
}

SharedLibrary::SharedLibrary(SharedLibrary&& other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr)), m_error(std::move(other.m_error)) {}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept {
    if (this != &other) {
        Close();
        m_handle = std::exchange(other.m_handle, nullptr);
        m_error = std::move(other.m_error);
    }
    return *this;
}

bool SharedLibrary::Open(std::string_view path) {
    Close();
    if (path.empty()) {
        m_error = "empty library path";
        return false;
    }
    m_handle = dlopen(std::string(path).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_handle == nullptr) {
        m_error = LastDlError("the library could not be loaded");
        return false;
    }
    m_error.clear();
    return true;
}

void SharedLibrary::Close() {
    if (m_handle != nullptr) {
        dlclose(m_handle);
        m_handle = nullptr;
    }
}

void* SharedLibrary::Symbol(std::string_view name) {
    if (m_handle == nullptr) {
        m_error = "no library is open";
        return nullptr;
    }
    dlerror();  // clear a stale error so the one read below belongs to this lookup
    void* address = dlsym(m_handle, std::string(name).c_str());
    if (address == nullptr) {
        m_error = LastDlError("symbol not found");
        return nullptr;
    }
    m_error.clear();
    return address;
}

}  // namespace zelmo::platform
