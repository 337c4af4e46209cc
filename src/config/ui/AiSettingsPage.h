#pragma once

#include <QWidget>

#include "config/AiSettings.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;

namespace zelmo::config {

// The settings window's page of the language model ([AI回复]): its twelve fields. UI thread.
class AiSettingsPage : public QWidget {
    Q_OBJECT
public:
    explicit AiSettingsPage(QWidget* parent);

    void Fill(const AiSettings& ai);
    // The controls into the fields: a number that is no number, or lies outside its range,
    // becomes its default; the prompt's line breaks become "[enter]".
    void Read(AiSettings& ai) const;

private:
    QCheckBox* m_enabled = nullptr;
    QLineEdit* m_address = nullptr;
    QLineEdit* m_key = nullptr;
    QLineEdit* m_model = nullptr;
    QPlainTextEdit* m_prompt = nullptr;
    QLineEdit* m_context_turns = nullptr;
    QLineEdit* m_max_reply = nullptr;
    QLineEdit* m_timeout = nullptr;
    QCheckBox* m_friends = nullptr;
    QComboBox* m_groups = nullptr;
    QLineEdit* m_daily_limit = nullptr;
    QLineEdit* m_prefix = nullptr;
};

}  // namespace zelmo::config
