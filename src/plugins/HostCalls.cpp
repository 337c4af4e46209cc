#include "plugins/HostCalls.h"

#include <cstring>
#include <type_traits>

#include "zelmo_plugin.h"

namespace zelmo::plugins {

namespace {

// Never a global: the thread's own pointer to what its current plugin call is about.
thread_local std::string_view g_current_item;

std::string_view Text(const char* text) {
    return text == nullptr ? std::string_view() : std::string_view(text);
}

// The text's length; copied with its NUL only when the buffer holds it all, else the buffer
// is left an empty text.
int CopyOut(const std::string& text, char* buffer, int size) {
    const auto length = static_cast<int>(text.size());
    if (buffer != nullptr && size > 0) {
        if (size > length) {
            std::memcpy(buffer, text.data(), text.size());
            buffer[length] = '\0';
        } else {
            buffer[0] = '\0';
        }
    }
    return length;
}

}  // namespace

struct HostCalls::Impl {
    // First member: a host call's table pointer is a pointer to the whole.
    zelmo_host table{};
    HostServices* services = nullptr;

    static HostServices& Of(const zelmo_host* host) {
        return *reinterpret_cast<const Impl*>(host)->services;
    }

    // Every call is guarded: nothing a service throws reaches the plugin's C frames.
    template <typename Body>
    static int Guarded(Body body) {
        try {
            return body();
        } catch (...) {
            return -1;
        }
    }

    static int SendPicture(const zelmo_host* host, const char* to, const char* path) {
        return Guarded(
            [&] { return Of(host).SendFile(Text(to), Text(path), true).empty() ? 0 : -1; });
    }
    static int SendFile(const zelmo_host* host, const char* to, const char* path) {
        return Guarded(
            [&] { return Of(host).SendFile(Text(to), Text(path), false).empty() ? 0 : -1; });
    }
    static int ContactKey(const zelmo_host* host, const char* user_name, char* buffer, int size) {
        return Guarded([&] { return CopyOut(Of(host).KeyOf(Text(user_name)), buffer, size); });
    }
    static int UserNameOf(const zelmo_host* host, const char* key, char* buffer, int size) {
        return Guarded([&] { return CopyOut(Of(host).UserNameOf(Text(key)), buffer, size); });
    }
    static int MessageMedia(const zelmo_host* host, char* buffer, int size) {
        return Guarded([&] {
            const std::string_view item = g_current_item;
            return CopyOut(item.empty() ? std::string() : Of(host).MediaOf(item), buffer, size);
        });
    }
};

HostCalls::HostCalls(HostServices& services) : m_impl(std::make_unique<Impl>()) {
    static_assert(std::is_standard_layout_v<Impl>);
    m_impl->services = &services;
    zelmo_host& table = m_impl->table;
    table.version = ZELMO_PLUGIN_SDK_VERSION;
    table.size = sizeof(zelmo_host);
    table.send_picture = &Impl::SendPicture;
    table.send_file = &Impl::SendFile;
    table.contact_key = &Impl::ContactKey;
    table.user_name_of = &Impl::UserNameOf;
    table.message_media = &Impl::MessageMedia;
}

HostCalls::~HostCalls() = default;

const zelmo_host* HostCalls::Table() const {
    return &m_impl->table;
}

CurrentMessage::CurrentMessage(std::string_view item) : m_previous(g_current_item) {
    g_current_item = item;
}

CurrentMessage::~CurrentMessage() {
    g_current_item = m_previous;
}

std::string_view CurrentMessage::Item() {
    return g_current_item;
}

void CallPluginInit(void* init_symbol, const zelmo_host* table) {
    if (init_symbol == nullptr || table == nullptr) {
        return;
    }
    auto init = reinterpret_cast<zelmo_init_function>(init_symbol);
    try {
        init(table);
    } catch (...) {
        // A plugin whose init threw still answers messages, without what init would set up.
    }
}

}  // namespace zelmo::plugins
