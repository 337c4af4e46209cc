#pragma once

#include <QWidget>
#include <functional>
#include <string>

#include "config/Settings.h"
#include "config/SettingsStore.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace zelmo::config {

class OneBotPage;
class AiSettingsPage;

// The settings window ("设置"): shows the robot's settings and saves them when it closes.
// Non-modal, owned by the main window. UI thread.
class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    // open_editor shows the knowledge-base editor (按钮_词库编辑器). The controls are
    // filled from the current settings here; the file is config/mzset.ini of account_dir.
    SettingsWindow(SettingsStore& settings, const std::string& account_dir, QWidget* owner,
                   std::function<void()> open_editor);

    // Copies the twenty-one fields shown here, the [OneBot] section and the model's twelve
    // fields (each on its own page) into the controls (显示消息 is not shown).
    void FillSettingsWindow(const Settings& settings);
    // Copies the controls into those fields, with the typing rules applied, so a box that
    // still has the focus is read as if it had lost it; 显示消息 stays as it is.
    void ReadSettingsWindow(Settings& settings) const;

    // The plugins' place on the plugin tab: an empty widget with a margin-less
    // QVBoxLayout for the plugin list page to add itself to.
    QWidget* PluginPageHost() const { return m_plugin_host; }

    // Runs `hook` once the controls hold the settings. The constructor fills them, so the
    // hook runs at once; a page built after the window still fills itself after it.
    void SetOnFilled(const std::function<void()>& hook);
    // Runs `hook` on close, after the settings were swapped in and saved.
    void SetOnClosing(std::function<void()> hook);

signals:
    // On close, after the save: the model's settings as saved cannot be used, and why
    // (CheckAiSettings), for a "错误提示" box.
    void modelSettingsProblem(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* NewBasicPage();
    // 每分钟回复上限, 回复过期秒数, 自动重新登录 and 自动登录上限.
    QWidget* NewLimitsBox(QWidget* page);
    // 媒体下载 and 媒体上限MB.
    QWidget* NewMediaBox(QWidget* page);
    // The media and archive boxes.
    QWidget* NewKeepingPage();
    QWidget* NewArchiveBox(QWidget* page);
    QWidget* NewChatPage();
    QWidget* NewGroupPage();
    QWidget* NewPluginPage();
    // Tells modelSettingsProblem when the saved [AI回复] cannot be used.
    void CheckModelSettings();
    // Swaps the window's fields into the robot's settings and writes the file.
    void SaveOnClose();

    SettingsStore& m_settings;
    const std::string& m_account_dir;
    std::function<void()> m_open_editor;
    std::function<void()> m_on_closing;

    QPlainTextEdit* m_shield = nullptr;
    QLineEdit* m_name = nullptr;
    QCheckBox* m_group_enabled = nullptr;
    QLineEdit* m_group_join = nullptr;
    QLineEdit* m_group_invite = nullptr;
    QLineEdit* m_group_remove = nullptr;
    QCheckBox* m_default_friend = nullptr;
    QCheckBox* m_default_group = nullptr;
    QCheckBox* m_list_enabled = nullptr;
    QLineEdit* m_list_word = nullptr;
    QCheckBox* m_friend_learning = nullptr;
    QCheckBox* m_group_learning = nullptr;
    QLineEdit* m_reply_chance = nullptr;
    QLineEdit* m_reply_expiry = nullptr;
    QLineEdit* m_replies_per_minute = nullptr;
    QCheckBox* m_auto_relogin = nullptr;
    QLineEdit* m_auto_login_cap = nullptr;
    QCheckBox* m_archive_enabled = nullptr;
    QLineEdit* m_archive_days = nullptr;
    QCheckBox* m_reply_enabled = nullptr;
    QComboBox* m_media_download = nullptr;
    QLineEdit* m_media_cap = nullptr;
    QPushButton* m_editor_button = nullptr;
    QWidget* m_plugin_host = nullptr;
    OneBotPage* m_onebot = nullptr;
    AiSettingsPage* m_ai_page = nullptr;
};

}  // namespace zelmo::config
