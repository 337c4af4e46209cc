#pragma once

#include <QWidget>

#include "config/OneBotSettings.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace zelmo::config {

// The settings window's page for section [OneBot]: one control per key, and a line that
// names what the robot would refuse at its next start (as its check does). UI thread.
class OneBotPage : public QWidget {
    Q_OBJECT
public:
    explicit OneBotPage(QWidget* parent);

    void Fill(const OneBotSettings& settings);
    // The controls into the section; blanks around addresses and numbers dropped, an empty
    // number its default.
    void Read(OneBotSettings& settings) const;

private:
    void ShowCheck();

    QCheckBox* m_enabled = nullptr;
    QLineEdit* m_http = nullptr;
    QLineEdit* m_ws = nullptr;
    QLineEdit* m_reverse = nullptr;
    QLineEdit* m_webhook = nullptr;
    QLineEdit* m_token = nullptr;
    QLineEdit* m_heartbeat = nullptr;
    QLineEdit* m_reconnect = nullptr;
    QCheckBox* m_take_over = nullptr;
    QCheckBox* m_http_events = nullptr;
    QLineEdit* m_buffer = nullptr;
    QLineEdit* m_folder = nullptr;
    QLabel* m_problem = nullptr;
};

}  // namespace zelmo::config
