#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <atomic>
#include <latch>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/Robot.h"
#include "config/AccountPaths.h"
#include "config/MinimiseNotice.h"
#include "config/Settings.h"
#include "config/ui/SettingsWindow.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "platform/IniFile.h"
#include "support/SettingsSamples.h"
#include "support/StubScreen.h"
#include "support/TestSupport.h"
#include "widgets/QtText.h"

namespace zelmo::config {
namespace {

using platform::Gbk;

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// The window's controls of the key table, found by their names.
struct Controls {
    explicit Controls(const QWidget& window) {
        const auto edit = [&](const char* name) { return window.findChild<QLineEdit*>(U(name)); };
        const auto box = [&](const char* name) { return window.findChild<QCheckBox*>(U(name)); };
        shield = window.findChild<QPlainTextEdit*>(U("设置_基本_屏蔽_好友"));
        name = edit("设置_基本_姓名框");
        group_enabled = box("选择框_群管启用");
        join = edit("编辑框_加入");
        invite = edit("编辑_邀入");
        remove = edit("编辑框_移出");
        default_friend = box("设置_聊天_默认_好友");
        default_group = box("设置_聊天_默认_群");
        list_enabled = box("选择框_插件列表回复");
        list_word = edit("编辑框_插件列表关键字");
        friend_learning = box("选择框_好友学习");
        group_learning = box("选择框_群内学习");
        chance = edit("编辑框_回复几率");
        expiry = edit("编辑框_回复过期秒数");
        per_minute = edit("编辑框_每分钟回复上限");
        auto_relogin = box("选择框_自动重新登录");
        login_cap = edit("编辑框_自动登录上限");
        archive_enabled = box("选择框_启用存档");
        archive_days = edit("编辑框_消息保留天数");
        reply_enabled = box("选择框_是否回复消息");
        editor_button = window.findChild<QPushButton*>(U("按钮_词库编辑器"));
    }
    bool Complete() const {
        return shield && name && group_enabled && join && invite && remove && default_friend &&
               default_group && list_enabled && list_word && friend_learning && group_learning &&
               chance && expiry && per_minute && auto_relogin && login_cap && reply_enabled &&
               archive_enabled && archive_days && editor_button;
    }

    QPlainTextEdit* shield;
    QLineEdit *name, *join, *invite, *remove, *list_word, *chance, *expiry, *per_minute, *login_cap,
        *archive_days;
    QCheckBox *group_enabled, *default_friend, *default_group, *list_enabled, *friend_learning,
        *group_learning, *auto_relogin, *reply_enabled, *archive_enabled;
    QPushButton* editor_button;
};

void LoseFocus(QWidget* widget) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(widget, &out);
}

// Brings the tab holding the widget to the front and lays it out.
void ShowTabOf(const QWidget& window, const QWidget* widget) {
    auto* tabs = window.findChild<QTabWidget*>();
    for (int i = 0; tabs != nullptr && i < tabs->count(); ++i) {
        if (tabs->widget(i)->isAncestorOf(widget)) {
            tabs->setCurrentIndex(i);
        }
    }
    QApplication::processEvents();
}

QLabel* LabelWithText(const QWidget& window, const char* text) {
    for (QLabel* label : window.findChildren<QLabel*>()) {
        if (label->text() == U(text)) {
            return label;
        }
    }
    return nullptr;
}

Settings Changed() {
    return test::ChangedSettings();
}

class SettingsWindowTest : public ::testing::Test {
protected:
    SettingsWindowTest()
        : m_robot(app::RunOptions{m_dir.Path() + "/data", "", app::AutoAnswer::Yes}, m_clock,
                  m_screen) {
        const std::string account = m_dir.Path() + "/data/12345";
        platform::MakeDirectories(account + "/config");
        m_robot.SetAccountDir(account);
    }

    app::Robot& Robot() { return m_robot; }
    std::string SettingsPath() const {
        return config::ConfigPath(m_robot.AccountDir(), config::SETTINGS_FILE);
    }

    // Opened as the main window opens it: deleted when it closes.
    QPointer<SettingsWindow> Open(std::function<void()> open_editor = {}) {
        auto* window = new SettingsWindow(m_robot.Settings(), m_robot.AccountDir(), nullptr,
                                          std::move(open_editor));
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
        QApplication::processEvents();
        return window;
    }

    static void CloseAndWait(QPointer<SettingsWindow>& window) {
        ASSERT_TRUE(window->close());
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(window.isNull());
    }

private:
    test::TempDir m_dir;
    test::StubScreen m_screen;
    platform::SystemClock m_clock;
    app::Robot m_robot;
};

TEST_F(SettingsWindowTest, HoldsEveryControlWithItsCaptionsLabelsAndHints) {
    QPointer<SettingsWindow> window = Open();
    EXPECT_EQ(window->windowTitle(), U("设置"));
    const Controls controls(*window);
    ASSERT_TRUE(controls.Complete());

    EXPECT_EQ(controls.group_enabled->text(), U("群管启用"));
    EXPECT_EQ(controls.default_friend->text(), U("好友启用"));
    EXPECT_EQ(controls.default_group->text(), U("群内启用"));
    EXPECT_EQ(controls.friend_learning->text(), U("好友学习"));
    EXPECT_EQ(controls.group_learning->text(), U("群内学习"));
    EXPECT_EQ(controls.reply_enabled->text(), U("启动自主发言"));
    EXPECT_EQ(controls.auto_relogin->text(), U("会话结束后自动重新登录（无需扫码）"));
    for (const char* text :
         {"忽略以下uin号（多个uin号请使用半角逗号分隔）：", "机器人姓名：", "加入", "邀入", "移出",
          "机器人收到", "时自动回复插件列表", "群内词库回复几率：", "%", "设置将自动保存",
          "提示：需群管理权限，留空为不回复昵称用[name]代替", "回复等待超过",
          "秒则不再发送（0 为不限）", "每个聊天每分钟最多回复", "条（0 为不限）",
          "24小时内最多自动登录", "次（0 为不限）", "消息保留", "天（0 为全部保留）"}) {
        EXPECT_NE(LabelWithText(*window, text), nullptr) << text;
    }
    // The limits of replies and logins are on the general page, beside the robot's name.
    ShowTabOf(*window, controls.name);
    const QWidget* general = window->findChild<QTabWidget*>()->currentWidget();
    for (const QWidget* limit :
         {static_cast<QWidget*>(controls.per_minute), static_cast<QWidget*>(controls.expiry),
          static_cast<QWidget*>(controls.auto_relogin),
          static_cast<QWidget*>(controls.login_cap)}) {
        EXPECT_TRUE(general->isAncestorOf(limit)) << limit->objectName().toStdString();
    }
    // What is kept (media, the archive) has a page of its own.
    ShowTabOf(*window, controls.archive_enabled);
    const QWidget* keeping = window->findChild<QTabWidget*>()->currentWidget();
    EXPECT_NE(keeping, general);
    EXPECT_TRUE(keeping->isAncestorOf(controls.archive_days));
    EXPECT_TRUE(keeping->isAncestorOf(window->findChild<QWidget*>(U("组合框_媒体下载"))));

    // The plugin tab holds the list-word row and the plugin page's host; the word's box
    // sits between its two labels and "%" follows the chance box.
    QWidget* host = window->PluginPageHost();
    ASSERT_NE(host, nullptr);
    ASSERT_NE(host->layout(), nullptr);  // for the plugin page to add itself to
    EXPECT_TRUE(host->findChildren<QWidget*>().isEmpty());
    ShowTabOf(*window, host);
    const QWidget* plugin_tab = window->findChild<QTabWidget*>()->currentWidget();
    ASSERT_TRUE(plugin_tab->isAncestorOf(host));
    EXPECT_TRUE(plugin_tab->isAncestorOf(controls.list_enabled));
    EXPECT_TRUE(plugin_tab->isAncestorOf(controls.list_word));
    const QLabel* before = LabelWithText(*window, "机器人收到");
    const QLabel* after = LabelWithText(*window, "时自动回复插件列表");
    EXPECT_LT(controls.list_enabled->x(), before->x());
    EXPECT_LT(before->x(), controls.list_word->x());
    EXPECT_LT(controls.list_word->x(), after->x());
    ShowTabOf(*window, controls.chance);
    EXPECT_LT(LabelWithText(*window, "群内词库回复几率：")->x(), controls.chance->x());
    EXPECT_LT(controls.chance->x(), LabelWithText(*window, "%")->x());
    EXPECT_GE(window->width(), 400);
    EXPECT_GE(window->height(), 300);
    window->close();
}

TEST_F(SettingsWindowTest, FillsAndReadsEveryShownFieldTheModelsPageIncluded) {
    Robot().Settings().Set(Changed());
    QPointer<SettingsWindow> window = Open();
    const Controls controls(*window);
    ASSERT_TRUE(controls.Complete());

    EXPECT_EQ(controls.shield->toPlainText(), U("111,222"));
    EXPECT_EQ(controls.name->text(), U("小助手"));
    EXPECT_FALSE(controls.group_enabled->isChecked());
    EXPECT_EQ(controls.join->text(), U("欢迎[name]加入=本群"));
    EXPECT_EQ(controls.invite->text(), U("[name]被邀请进来了"));
    EXPECT_EQ(controls.remove->text(), U("再见[name]"));
    EXPECT_FALSE(controls.default_friend->isChecked());
    EXPECT_TRUE(controls.default_group->isChecked());
    EXPECT_FALSE(controls.list_enabled->isChecked());
    EXPECT_EQ(controls.list_word->text(), U("菜单"));
    EXPECT_FALSE(controls.friend_learning->isChecked());
    EXPECT_FALSE(controls.group_learning->isChecked());
    EXPECT_EQ(controls.chance->text(), U("35"));
    EXPECT_EQ(controls.expiry->text(), U("45"));
    EXPECT_EQ(controls.per_minute->text(), U("5"));
    EXPECT_FALSE(controls.auto_relogin->isChecked());
    EXPECT_EQ(controls.login_cap->text(), U("3"));
    EXPECT_FALSE(controls.reply_enabled->isChecked());
    EXPECT_FALSE(controls.archive_enabled->isChecked());
    EXPECT_EQ(controls.archive_days->text(), U("30"));

    // The model's page, by its controls' names.
    ShowTabOf(*window, window->findChild<QLineEdit*>(U("编辑框_接口地址")));
    EXPECT_EQ(
        window->findChild<QTabWidget*>()->tabText(window->findChild<QTabWidget*>()->currentIndex()),
        U("AI回复"));
    EXPECT_TRUE(window->findChild<QCheckBox*>(U("选择框_AI启用"))->isChecked());
    EXPECT_EQ(window->findChild<QLineEdit*>(U("编辑框_接口地址"))->text(),
              U("https://api.example.com/v1"));
    EXPECT_EQ(window->findChild<QLineEdit*>(U("编辑框_密钥"))->echoMode(), QLineEdit::Password);
    EXPECT_EQ(window->findChild<QPlainTextEdit*>(U("编辑框_系统提示"))->toPlainText(),
              U("你是[mkname]。\n只说中文。"));
    EXPECT_EQ(window->findChild<QComboBox*>(U("下拉框_AI群"))->currentIndex(), 2);
    for (const char* name : {"编辑框_模型", "编辑框_上下文条数", "编辑框_最长回复",
                             "编辑框_超时秒数", "编辑框_每日上限", "编辑框_触发前缀"}) {
        EXPECT_NE(window->findChild<QLineEdit*>(U(name)), nullptr) << name;
    }
    EXPECT_FALSE(window->findChild<QCheckBox*>(U("选择框_AI好友"))->isChecked());

    // Reading leaves what the window does not show (显示消息) as it was and gives back
    // every shown field, the model's and the OneBot page's included.
    Settings read;
    read.显示消息 = true;
    window->ReadSettingsWindow(read);
    Settings expected = Changed();
    expected.显示消息 = true;
    EXPECT_EQ(read, expected);

    // And the defaults fill and read back as the defaults.
    window->FillSettingsWindow(Settings{});
    EXPECT_TRUE(controls.reply_enabled->isChecked());
    EXPECT_TRUE(controls.auto_relogin->isChecked());
    EXPECT_FALSE(controls.default_group->isChecked());
    window->ReadSettingsWindow(read);
    EXPECT_EQ(read, Settings{});
    // A number that is none, or out of its range, is read as its default.
    window->findChild<QLineEdit*>(U("编辑框_上下文条数"))->setText(U("abc"));
    window->findChild<QLineEdit*>(U("编辑框_超时秒数"))->setText(U("601"));
    window->findChild<QLineEdit*>(U("编辑框_每日上限"))->setText(U(" 7 "));
    window->ReadSettingsWindow(read);
    EXPECT_EQ(read.ai.上下文条数, "10");
    EXPECT_EQ(read.ai.超时秒数, "30");
    EXPECT_EQ(read.ai.每日上限, "7");

    // The OneBot page names a fault as it is typed: a public listener needs the token.
    const auto* problem = window->findChild<QLabel*>(U("标签_OneBot提示"));
    ASSERT_NE(problem, nullptr);
    EXPECT_TRUE(problem->text().isEmpty());
    window->findChild<QCheckBox*>(U("选择框_OneBot启用"))->setChecked(true);
    window->findChild<QLineEdit*>(U("编辑框_WS地址"))->setText(U("0.0.0.0:6700"));
    EXPECT_TRUE(problem->text().contains(U("访问令牌"))) << problem->text().toStdString();
    window->findChild<QLineEdit*>(U("编辑框_访问令牌"))->setText(U("t"));
    EXPECT_TRUE(problem->text().isEmpty());

    // A page built after the window fills itself after the window's own controls.
    QString name_seen;
    window->SetOnFilled([&] { name_seen = controls.name->text(); });
    EXPECT_EQ(name_seen, U("Zelmo"));
    window->close();
}

TEST_F(SettingsWindowTest, FocusLossFixesTheChanceAndJoinsTheShieldLines) {
    QPointer<SettingsWindow> window = Open();
    const Controls controls(*window);
    ASSERT_TRUE(controls.Complete());

    const std::vector<std::pair<const char*, const char*>> chances = {
        {"0", "100"}, {"-5", "100"},  {"101", "100"}, {"abc", "100"}, {"", "100"},
        {"1", "1"},   {"100", "100"}, {"42", "42"},   {"08", "8"},
    };
    for (const auto& [typed, shown] : chances) {
        controls.chance->setText(U(typed));
        LoseFocus(controls.chance);
        EXPECT_EQ(controls.chance->text(), U(shown)) << typed;
    }

    // The counts keep their whole number (0: no limit); anything else is the default.
    const std::vector<std::pair<const char*, const char*>> counts = {
        {"0", "0"}, {" 45s", "45"}, {"abc", ""}, {"-5", ""}, {"", ""}};
    for (const auto& [edit, fallback] :
         {std::pair{controls.expiry, "300"}, std::pair{controls.per_minute, "20"},
          std::pair{controls.login_cap, "12"}}) {
        for (const auto& [typed, shown] : counts) {
            edit->setText(U(typed));
            LoseFocus(edit);
            EXPECT_EQ(edit->text(), U(*shown != '\0' ? shown : fallback)) << typed;
        }
    }

    controls.shield->setPlainText(U("111\n222\n333"));
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(controls.shield, &in);
    EXPECT_EQ(controls.shield->toPlainText(), U("111\n222\n333"));  // only losing it counts
    LoseFocus(controls.shield);
    EXPECT_EQ(controls.shield->toPlainText(), U("111,222,333"));

    // The same when the focus really moves from box to box.
    window->activateWindow();
    QApplication::processEvents();
    ASSERT_TRUE(window->isActiveWindow());
    ShowTabOf(*window, controls.chance);
    controls.chance->setFocus();
    controls.chance->setText(U("250"));
    controls.default_friend->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), controls.default_friend);
    EXPECT_EQ(controls.chance->text(), U("100"));
    window->close();
}

TEST_F(SettingsWindowTest, CloseSwapsTheSettingsInThenSavesThenRunsTheHook) {
    // A file with lines of its own, which must survive the save.
    const std::string own_lines = "; kept\r\n[" + Gbk("其它") + "]\r\n" + Gbk("最小化提示") +
                                  "=1\r\n[" + Gbk("机器人设置") + "]\r\n" + Gbk("自定义") +
                                  "=x\r\n";
    ASSERT_TRUE(platform::WriteFileAtomic(SettingsPath(), own_lines));

    QPointer<SettingsWindow> window = Open();
    const Controls controls(*window);
    ASSERT_TRUE(controls.Complete());
    controls.name->setText(U("小助手"));
    controls.group_enabled->setChecked(false);
    controls.default_group->setChecked(true);
    controls.join->setText(U("欢迎[name]加入=本群"));
    // Typed and closed without leaving the boxes: stored as if they had lost the focus.
    controls.chance->setText(U("abc"));
    controls.shield->setPlainText(U("111\n222\n333\n"));
    // The message window switches 显示消息 while the settings window is open.
    Robot().Settings().Update([](Settings& settings) { settings.显示消息 = false; });

    Settings seen_by_hook;
    bool hook_ran = false;
    window->SetOnClosing([&] {
        hook_ran = true;
        seen_by_hook = LoadSettings(SettingsPath());
    });
    CloseAndWait(window);

    Settings expected;
    expected.机器人姓名 = Gbk("小助手");
    expected.启用群管 = false;
    expected.群默认 = true;
    expected.群管_加 = Gbk("欢迎[name]加入=本群");
    expected.回复几率 = "100";
    expected.屏蔽uin = "111,222,333";
    expected.显示消息 = false;
    EXPECT_EQ(*Robot().Settings().Get(), expected);
    EXPECT_EQ(LoadSettings(SettingsPath()), expected);
    ASSERT_TRUE(hook_ran);
    EXPECT_EQ(seen_by_hook, expected);  // the file was written before the hook ran

    const std::string text = platform::ReadFile(SettingsPath());
    EXPECT_NE(text.find("; kept\r\n"), std::string::npos);
    EXPECT_EQ(platform::ReadIniItem(SettingsPath(), Gbk("机器人设置"), Gbk("自定义")), "x");
    EXPECT_TRUE(MinimiseNoticeShown(SettingsPath()));
}

TEST_F(SettingsWindowTest, AModelAddressThatCannotBeUsedIsToldWhenTheWindowCloses) {
    for (const char* address : {"http://203.0.113.9/v1", "http://127.0.0.1:11434/v1"}) {
        QPointer<SettingsWindow> window = Open();
        QStringList told;
        QObject::connect(window, &SettingsWindow::modelSettingsProblem,
                         [&](const QString& text) { told << text; });
        window->findChild<QCheckBox*>(U("选择框_AI启用"))->setChecked(true);
        window->findChild<QLineEdit*>(U("编辑框_接口地址"))->setText(U(address));
        window->findChild<QLineEdit*>(U("编辑框_模型"))->setText(U("qwen2.5"));
        CloseAndWait(window);
        EXPECT_EQ(Robot().Settings().Get()->ai.接口地址, address);
        if (std::string_view(address).starts_with("http://127.")) {
            EXPECT_TRUE(told.isEmpty()) << told.join(' ').toStdString();
        } else {
            ASSERT_EQ(told.size(), 1);
            EXPECT_TRUE(told[0].contains(U("https://"))) << told[0].toStdString();
        }
    }
}

TEST_F(SettingsWindowTest, ShowMessagesReachesTheFileOnlyWhenTheWindowCloses) {
    ASSERT_TRUE(SaveSettings(SettingsPath(), Settings{}));
    const std::string before = platform::ReadFile(SettingsPath());

    Robot().Settings().Update([](Settings& settings) { settings.显示消息 = false; });
    EXPECT_FALSE(Robot().Settings().Get()->显示消息);
    EXPECT_EQ(platform::ReadFile(SettingsPath()), before);
    EXPECT_TRUE(LoadSettings(SettingsPath()).显示消息);

    QPointer<SettingsWindow> window = Open();
    EXPECT_EQ(platform::ReadFile(SettingsPath()), before);  // opening writes nothing
    CloseAndWait(window);
    EXPECT_FALSE(LoadSettings(SettingsPath()).显示消息);
    EXPECT_EQ(platform::ReadIniItem(SettingsPath(), Gbk("机器人设置"), Gbk("显示消息")), "0");
}

TEST_F(SettingsWindowTest, EditorButtonOpensTheEditor) {
    int opened = 0;
    QPointer<SettingsWindow> window = Open([&] { ++opened; });
    const Controls controls(*window);
    ASSERT_TRUE(controls.Complete());
    controls.editor_button->click();
    controls.editor_button->click();
    EXPECT_EQ(opened, 2);
    window->close();
}

// Workers read settings while the window swaps them in: each snapshot they get is whole.
TEST_F(SettingsWindowTest, ReadersNeverSeeATornSnapshotWhileWindowsSwap) {
    constexpr int READERS = 3;
    constexpr int ROUNDS = 30;
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::latch reading(READERS);
    std::vector<std::thread> readers;
    readers.reserve(READERS);
    for (int i = 0; i < READERS; ++i) {
        readers.emplace_back([&] {
            bool first = true;
            while (!done.load()) {
                const std::shared_ptr<const Settings> snapshot = Robot().Settings().Get();
                // Every round writes its number into the name, the word and the join text.
                const std::string& name = snapshot->机器人姓名;
                const std::string tag = name == "Zelmo" ? "" : name.substr(4);
                const bool whole =
                    name == "Zelmo"
                        ? snapshot->列表词 == Gbk("功能") && snapshot->群管_加.empty()
                        : snapshot->列表词 == "word" + tag && snapshot->群管_加 == "join" + tag &&
                              snapshot->群默认 == (std::stoi(tag) % 2 == 0);
                if (!whole) {
                    ++torn;
                }
                if (first) {
                    reading.count_down();
                    first = false;
                }
            }
        });
    }
    reading.wait();
    for (int round = 1; round <= ROUNDS; ++round) {
        QPointer<SettingsWindow> window = Open();
        const Controls controls(*window);
        ASSERT_TRUE(controls.Complete());
        const QString tag = QString::number(round);
        controls.name->setText(U("name") + tag);
        controls.list_word->setText(U("word") + tag);
        controls.join->setText(U("join") + tag);
        controls.default_group->setChecked(round % 2 == 0);
        CloseAndWait(window);
    }
    done = true;
    for (std::thread& reader : readers) {
        reader.join();
    }
    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(Robot().Settings().Get()->机器人姓名, "name" + std::to_string(ROUNDS));
    EXPECT_EQ(LoadSettings(SettingsPath()).群管_加, "join" + std::to_string(ROUNDS));
}

}  // namespace
}  // namespace zelmo::config
