#pragma once

#include <sys/types.h>

#include <string>

namespace zelmo::test {

// A private X display (Xvfb) with a window manager that hosts a system tray (icewm), for
// tests that need a real tray. One per test process; the test main starts it before the
// QApplication exists.
class TrayHost {
public:
    static TrayHost& Instance();

    // Starts Xvfb and points DISPLAY at it. False with Missing() set when Xvfb or icewm is
    // not installed, false with Failure() set when the display did not come up.
    bool StartDisplay();
    // Starts (again) the tray host; StopTray ends it and waits until it is gone.
    bool StartTray();
    void StopTray();

    bool Running() const { return m_display_pid > 0; }
    const std::string& Missing() const { return m_missing; }
    const std::string& Failure() const { return m_failure; }

    ~TrayHost();
    TrayHost(const TrayHost&) = delete;
    TrayHost& operator=(const TrayHost&) = delete;

private:
    TrayHost() = default;

    std::string m_xvfb;
    std::string m_icewm;
    std::string m_missing;
    std::string m_failure;
    pid_t m_display_pid = -1;
    pid_t m_tray_pid = -1;
};

}  // namespace zelmo::test
