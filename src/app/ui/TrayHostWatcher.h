#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <cstdint>

struct xcb_connection_t;

namespace zelmo::app {

// Tells when an X11 system-tray host (the "_NET_SYSTEM_TRAY_S<screen>" selection owner)
// announces itself, as it does when a tray starts or restarts, and when the current host
// goes away. Does nothing off X11 (Active() false). UI thread; the signals are queued so
// that Qt's own tray code has seen the same event first.
class TrayHostWatcher : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    explicit TrayHostWatcher(QObject* parent);
    ~TrayHostWatcher() override;
    TrayHostWatcher(const TrayHostWatcher&) = delete;
    TrayHostWatcher& operator=(const TrayHostWatcher&) = delete;

    bool Active() const { return m_connection != nullptr; }

    bool nativeEventFilter(const QByteArray& event_type, void* message, qintptr* result) override;

signals:
    void HostStarted();
    void HostGone();

private:
    void Watch(std::uint32_t host_window);

    xcb_connection_t* m_connection = nullptr;
    std::uint32_t m_manager_atom = 0;
    std::uint32_t m_selection_atom = 0;
    std::uint32_t m_host_window = 0;
};

}  // namespace zelmo::app
