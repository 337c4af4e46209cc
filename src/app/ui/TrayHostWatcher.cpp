#include "app/ui/TrayHostWatcher.h"

#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMetaObject>
#include <cstdlib>
#include <memory>
#include <string>

namespace zelmo::app {

namespace {

std::uint32_t InternAtom(xcb_connection_t* connection, const std::string& name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.c_str());
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : 0;
}

// The screen number of DISPLAY (":1.2" is screen 2); the tray selection is per screen.
int DisplayScreen() {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr) {
        return 0;
    }
    const std::string text(display);
    const std::size_t colon = text.rfind(':');
    const std::size_t dot = text.find('.', colon == std::string::npos ? 0 : colon);
    if (dot == std::string::npos) {
        return 0;
    }
    return std::atoi(text.c_str() + dot + 1);
}

}  // namespace

TrayHostWatcher::TrayHostWatcher(QObject* parent) : QObject(parent) {
    auto* x11 = qGuiApp == nullptr ? nullptr
                                   : qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) {
        return;
    }
    m_connection = x11->connection();
    m_manager_atom = InternAtom(m_connection, "MANAGER");
    m_selection_atom =
        InternAtom(m_connection, "_NET_SYSTEM_TRAY_S" + std::to_string(DisplayScreen()));
    if (m_manager_atom == 0 || m_selection_atom == 0) {
        m_connection = nullptr;
        return;
    }
    const xcb_get_selection_owner_cookie_t cookie =
        xcb_get_selection_owner(m_connection, m_selection_atom);
    std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(m_connection, cookie, nullptr), &std::free);
    if (owner) {
        Watch(owner->owner);
    }
    QCoreApplication::instance()->installNativeEventFilter(this);
}

TrayHostWatcher::~TrayHostWatcher() {
    if (m_connection != nullptr && QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
}

void TrayHostWatcher::Watch(std::uint32_t host_window) {
    m_host_window = host_window;
    if (host_window == 0) {
        return;
    }
    // Its destruction is how a host that dies without a word is noticed.
    const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(m_connection, host_window, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(m_connection);
}

bool TrayHostWatcher::nativeEventFilter(const QByteArray& event_type, void* message,
                                        qintptr* /*result*/) {
    if (event_type != "xcb_generic_event_t" || message == nullptr) {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const int kind = event->response_type & ~0x80;
    if (kind == XCB_CLIENT_MESSAGE) {
        const auto* client = static_cast<const xcb_client_message_event_t*>(message);
        if (client->format == 32 && client->type == m_manager_atom &&
            client->data.data32[1] == m_selection_atom) {
            Watch(client->data.data32[2]);
            QMetaObject::invokeMethod(this, &TrayHostWatcher::HostStarted, Qt::QueuedConnection);
        }
    } else if (kind == XCB_DESTROY_NOTIFY) {
        const auto* destroyed = static_cast<const xcb_destroy_notify_event_t*>(message);
        if (m_host_window != 0 && destroyed->window == m_host_window) {
            m_host_window = 0;
            QMetaObject::invokeMethod(this, &TrayHostWatcher::HostGone, Qt::QueuedConnection);
        }
    }
    return false;
}

}  // namespace zelmo::app
