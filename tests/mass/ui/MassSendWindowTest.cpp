#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeView>
#include <string>
#include <vector>

#include "app/Robot.h"
#include "config/AccountPaths.h"
#include "config/Settings.h"
#include "mass/ui/MassSendWindow.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "support/StubScreen.h"
#include "support/TestSupport.h"

namespace zelmo::mass {
namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

void SendMouse(QWidget* widget, QEvent::Type type, QPoint pos, Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(pos), widget->mapToGlobal(QPointF(pos)), Qt::LeftButton,
                      buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void Click(QWidget* widget, QPoint pos = {2, 2}) {
    SendMouse(widget, QEvent::MouseButtonPress, pos, Qt::LeftButton);
    SendMouse(widget, QEvent::MouseButtonRelease, pos, Qt::NoButton);
}

class MassSendWindowTest : public ::testing::Test {
protected:
    MassSendWindowTest()
        : robot(app::RunOptions{dir.Path(), "", app::AutoAnswer::No}, clock, screen) {
        robot.SetAccountDir(dir.Path() + "/acct");
        platform::MakeDirectories(robot.AccountDir() + "/config");
    }

    template <typename T>
    T* Find(const char* name) {
        T* widget = window.findChild<T*>(U(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QString Cell(int row, int column) {
        QTreeView* list = Find<QTreeView>("群发列表框_广告");
        return list->model()->index(row, column).data().toString();
    }
    void SelectText(int row) {
        QTreeView* list = Find<QTreeView>("群发列表框_广告");
        list->selectionModel()->select(
            list->model()->index(row, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    test::TempDir dir;
    test::StubScreen screen;
    platform::SystemClock clock;
    app::Robot robot;
    MassSendWindow window{robot.MassParts(), robot.Contacts(), nullptr};
};

TEST_F(MassSendWindowTest, HoldsEveryControlWithItsCaption) {
    EXPECT_EQ(window.windowTitle(), U("批量发送信息"));
    QTabWidget* tabs = Find<QTabWidget>("选择夹_广告");
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->count(), 1);
    EXPECT_EQ(tabs->tabText(0), U("文本广告"));
    EXPECT_TRUE(tabs->widget(0)->isAncestorOf(Find<QPlainTextEdit>("编辑框_文本")));
    EXPECT_TRUE(tabs->widget(0)->isAncestorOf(Find<QPushButton>("按钮_文本添加")));
    EXPECT_EQ(Find<QTreeView>("群发列表框_广告")->model()->columnCount(), 3);
    EXPECT_EQ(Find<QPushButton>("按钮_开始群发")->text(), U("开始群发"));
    EXPECT_TRUE(Find<QPlainTextEdit>("编辑框_日志")->isReadOnly());
    EXPECT_EQ(Find<QLabel>("标签_清空")->text(), U("清空"));
    EXPECT_TRUE(Find<QCheckBox>("选择框_日志")->isChecked());
    for (const char* name : {"分组框1", "分组框2"}) {
        Find<QGroupBox>(name);
    }
    for (const char* name : {"群发列表框_成员", "编辑框_搜索", "按钮_搜索", "标签_刷新",
                             "选择框_群", "选择框_男", "选择框_女"}) {
        EXPECT_TRUE(Find<QGroupBox>("分组框1")->isAncestorOf(Find<QWidget>(name))) << name;
    }
    // Each pacing box sits on the blanks of its label, which keeps its text.
    const std::vector<std::pair<const char*, const char*>> pacing = {
        {"编辑框_消息延时", "每条消息间隔        毫秒"},
        {"编辑框_次数", "选中成员重复        几遍"},
        {"编辑框_重复延时", "每遍之间间隔        毫秒"}};
    for (const auto& [box_name, label_text] : pacing) {
        QLineEdit* box = Find<QLineEdit>(box_name);
        const QList<QLabel*> labels = window.findChildren<QLabel*>();
        const auto label = std::find_if(labels.begin(), labels.end(),
                                        [&](QLabel* l) { return l->text() == U(label_text); });
        ASSERT_NE(label, labels.end()) << label_text;
        EXPECT_GT(box->x(), (*label)->x()) << box_name;
        EXPECT_LT(box->geometry().right(), (*label)->geometry().right()) << box_name;
        EXPECT_EQ(box->y(), (*label)->y()) << box_name;
    }
}

TEST_F(MassSendWindowTest, WidthStaysAt975AndHeightAtLeast615WhileTheLayoutFollows) {
    window.show();
    window.resize(1400, 300);
    EXPECT_EQ(window.width(), 975);
    EXPECT_EQ(window.height(), 615);
    QApplication::processEvents();
    const int low_log_height = Find<QPlainTextEdit>("编辑框_日志")->height();
    window.resize(600, 900);
    EXPECT_EQ(window.width(), 975);
    EXPECT_EQ(window.height(), 900);
    QApplication::processEvents();

    const int client = window.contentsRect().width();
    auto* members_box = Find<QGroupBox>("分组框1");
    auto* texts_box = Find<QGroupBox>("分组框2");
    EXPECT_EQ(members_box->width(), client - 10);
    EXPECT_EQ(texts_box->width(), client - 10);
    EXPECT_EQ(Find<QTreeView>("群发列表框_成员")->width(), members_box->width() - 45);
    EXPECT_EQ(Find<QTreeView>("群发列表框_广告")->width(), texts_box->width() - 320);
    EXPECT_EQ(Find<QTabWidget>("选择夹_广告")->x(), texts_box->width() - 305);
    auto* log = Find<QPlainTextEdit>("编辑框_日志");
    EXPECT_EQ(log->width(), texts_box->width() - 140);
    // The extra height goes to the log, which stays inside its group box.
    EXPECT_EQ(log->height() - low_log_height, 900 - 615);
    EXPECT_LE(log->geometry().bottom(), texts_box->height());
    EXPECT_LE(texts_box->geometry().bottom(), window.height());
}

TEST_F(MassSendWindowTest, TextListAddsReplacesEditsAndDeletes) {
    auto* entry = Find<QPlainTextEdit>("编辑框_文本");
    auto* add = Find<QPushButton>("按钮_文本添加");
    auto* list = Find<QTreeView>("群发列表框_广告");
    entry->setPlainText(U("一\n二\n三"));
    add->click();
    entry->setPlainText("second");
    add->click();
    ASSERT_EQ(list->model()->rowCount(), 2);
    EXPECT_EQ(Cell(0, 1), U("文本"));
    EXPECT_EQ(Cell(0, 2), "second");
    EXPECT_EQ(Cell(1, 2), U("一[enter]二[enter]三"));

    SelectText(1);
    emit list->doubleClicked(list->model()->index(1, 2));
    EXPECT_EQ(entry->toPlainText(), U("一\n二\n三"));
    entry->setPlainText("changed");
    add->click();
    EXPECT_EQ(list->model()->rowCount(), 2);
    EXPECT_EQ(Cell(1, 2), "changed");
    EXPECT_EQ(robot.Mass().TextAt(1)->text, "changed");

    entry->clear();
    add->click();
    EXPECT_EQ(screen.TextsOf("ShowMessageBox"),
              (std::vector<std::string>{platform::Gbk("错误提示") + "\n" +
                                        platform::Gbk("请输入内容！")}));

    screen.ScriptAnswers({true});
    SelectText(0);
    emit list->customContextMenuRequested({5, 5});
    EXPECT_EQ(list->model()->rowCount(), 1);
    EXPECT_EQ(Cell(0, 2), "changed");
    // Nothing selected: no question.
    list->selectionModel()->clear();
    emit list->customContextMenuRequested({5, 5});
    EXPECT_EQ(screen.CountOf("AskYesNo"), 1U);
}

TEST_F(MassSendWindowTest, TicksGoToTheModelAndTheRunStateDisablesTheControls) {
    robot.Mass().SetTexts({{"L", "a"}, {"L", "b"}});
    window.ShowTexts();
    auto* list = Find<QTreeView>("群发列表框_广告");
    ASSERT_TRUE(
        list->model()->setData(list->model()->index(1, 0), Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(robot.Mass().TickedTexts(), (std::vector<AdText>{{"L", "b"}}));

    auto* start = Find<QPushButton>("按钮_开始群发");
    const std::vector<QWidget*> run_controls = {list,
                                                Find<QLineEdit>("编辑框_消息延时"),
                                                Find<QLineEdit>("编辑框_次数"),
                                                Find<QLineEdit>("编辑框_重复延时"),
                                                Find<QWidget>("群发列表框_成员"),
                                                Find<QWidget>("标签_刷新"),
                                                Find<QWidget>("选择框_群"),
                                                Find<QWidget>("选择框_男"),
                                                Find<QWidget>("选择框_女")};
    ASSERT_TRUE(robot.Mass().BeginRun({{"@a", "A"}}, {{"L", "b"}}));
    window.ShowRunState();
    EXPECT_EQ(start->text(), U("停止群发"));
    for (QWidget* control : run_controls) {
        EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
    }
    EXPECT_TRUE(start->isEnabled());
    ASSERT_TRUE(robot.Mass().RequestStop());
    window.ShowRunState();
    EXPECT_EQ(start->text(), U("开始群发"));
    EXPECT_FALSE(list->isEnabled());
    robot.Mass().EndRun();
    window.ShowRunState();
    for (QWidget* control : run_controls) {
        EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
    }
}

TEST_F(MassSendWindowTest, StartWithoutTickedMembersIsRefusedThroughTheScreen) {
    Find<QLineEdit>("编辑框_次数")->setText("4");
    Find<QPushButton>("按钮_开始群发")->click();
    EXPECT_EQ(screen.TextsOf("ShowMessageBox"),
              (std::vector<std::string>{platform::Gbk("错误提示") + "\n" +
                                        platform::Gbk("请勾选要群发的成员！")}));
    EXPECT_EQ(robot.Settings().GetMass()->重复几遍, "4");
}

TEST_F(MassSendWindowTest, LogAppendsClearsAndFollowsItsCheckBox) {
    window.AppendLog(platform::Gbk("启动群发程序，开始群发！"));
    window.AppendLog(platform::Gbk("\r\n已选中1个微信成员"));
    auto* log = Find<QPlainTextEdit>("编辑框_日志");
    EXPECT_EQ(log->toPlainText(), U("启动群发程序，开始群发！\n已选中1个微信成员"));
    Click(Find<QLabel>("标签_清空"));
    EXPECT_TRUE(log->toPlainText().isEmpty());
    EXPECT_TRUE(Find<QLabel>("标签_清空")->isEnabled());

    Find<QCheckBox>("选择框_日志")->click();
    EXPECT_FALSE(robot.Settings().GetMass()->监控日志);
}

TEST_F(MassSendWindowTest, SettingsShowAndClosingHidesAndSavesBoth) {
    config::MassSettings settings;
    settings.消息延时 = "800";
    settings.重复几遍 = "2";
    settings.重复延时 = "3000";
    settings.监控日志 = false;
    robot.Settings().SetMass(settings);
    window.ShowSettings();
    EXPECT_EQ(Find<QLineEdit>("编辑框_消息延时")->text(), "800");
    EXPECT_EQ(Find<QLineEdit>("编辑框_次数")->text(), "2");
    EXPECT_EQ(Find<QLineEdit>("编辑框_重复延时")->text(), "3000");
    EXPECT_FALSE(Find<QCheckBox>("选择框_日志")->isChecked());

    robot.Mass().SetTexts({{"L", "kept"}});
    window.show();
    Find<QLineEdit>("编辑框_次数")->setText("9");
    EXPECT_FALSE(window.close());
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(
        config::LoadMassSettings(config::ConfigPath(robot.AccountDir(), config::SETTINGS_FILE))
            .重复几遍,
        "9");
    EXPECT_EQ(platform::ReadFile(config::ConfigPath(robot.AccountDir(), config::MASS_TEXTS_FILE)),
              "L\r\nkept");
}

}  // namespace
}  // namespace zelmo::mass
