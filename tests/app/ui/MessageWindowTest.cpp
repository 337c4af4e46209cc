#include <gtest/gtest.h>

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "app/KeyAssignment.h"
#include "app/ui/MainWindow.h"
#include "app/ui/MessageWindow.h"
#include "app/ui/QtUiPort.h"
#include "messages/MessageLog.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "store/Store.h"
#include "support/gui/QtPump.h"
#include "support/gui/ViewsSupport.h"
#include "widgets/QtText.h"

namespace zelmo::test {
namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QString CellOf(const QAbstractItemModel* model, int row, int column) {
    return model->data(model->index(row, column)).toString();
}

TEST(MessageWindowTest, ShowsFiveColumnsAndItsControls) {
    ViewsRobot views;
    app::MessageWindow window(views.Robot(), nullptr);
    EXPECT_EQ(window.windowTitle(), U("微信机器人 - 消息盒子"));
    auto* list = window.findChild<QTableView*>(U("超级列表框_消息"));
    ASSERT_NE(list, nullptr);
    QStringList columns;
    for (int i = 0; i < list->model()->columnCount(); ++i) {
        columns << list->model()->headerData(i, Qt::Horizontal).toString() + ":" +
                       QString::number(list->horizontalHeader()->sectionSize(i));
    }
    EXPECT_EQ(columns,
              QStringList({U("类型:60"), U("时间:70"), U("来源:80"), U("发至:80"), U("内容:160")}));
    EXPECT_NE(window.findChild<QPlainTextEdit*>(U("编辑框_消息")), nullptr);
    EXPECT_EQ(window.findChild<QCheckBox*>(U("选择框_显示消息"))->text(), U("显示消息"));
    EXPECT_EQ(window.findChild<QPushButton*>(U("按钮_清空"))->text(), U("清空"));
    EXPECT_EQ(window.findChild<QPushButton*>(U("按钮_导出消息"))->text(), U("导出文件"));

    // Closing only hides it.
    window.show();
    window.close();
    EXPECT_FALSE(window.isVisible());
}

TEST(MessageWindowTest, CheckBoxShowsTheLoadedSettingAndSwitchesIt) {
    ViewsRobot views;
    app::MessageWindow window(views.Robot(), nullptr);
    config::Settings settings;
    settings.显示消息 = false;
    views.Robot().Settings().Set(settings);  // loaded after the window was made
    window.show();
    auto* box = window.findChild<QCheckBox*>(U("选择框_显示消息"));
    EXPECT_FALSE(box->isChecked());
    box->click();
    EXPECT_TRUE(views.Robot().Settings().Get()->显示消息);
    box->click();
    EXPECT_FALSE(views.Robot().Settings().Get()->显示消息);
}

TEST(MessageWindowTest, RowsArriveInBatchesAndShowTheirDetails) {
    ViewsRobot views;
    app::MessageWindow window(views.Robot(), nullptr);
    window.resize(480, 420);
    window.show();
    app::LogModel* model = window.Model();
    int flushes = 0;
    QObject::connect(model, &app::LogModel::Flushed, [&flushes] { ++flushes; });
    window.AddRow(platform::Gbk("[↓]好友"), "9:5:7", "Ann", platform::Gbk("我"), "hi");
    window.AddRow("L2", "10:0:0", "Bob", "Cy", platform::Gbk("内容二"));
    EXPECT_EQ(model->rowCount(), 0);
    ASSERT_TRUE(PumpUntil([&flushes] { return flushes > 0; }));
    EXPECT_EQ(flushes, 1);  // both rows in one batch
    ASSERT_EQ(model->rowCount(), 2);
    EXPECT_EQ(CellOf(model, 0, 0), U("[↓]好友"));
    EXPECT_EQ(CellOf(model, 1, 4), U("内容二"));

    auto* list = window.findChild<QTableView*>(U("超级列表框_消息"));
    auto* details = window.findChild<QPlainTextEdit*>(U("编辑框_消息"));
    Click(list->viewport(), RowPoint(list, 1));
    EXPECT_EQ(details->toPlainText(), U("L2  消息时间：10:0:0\n来源：Bob\n发至：Cy\n内容：内容二"));
    Click(list->viewport(), QPoint(5, list->viewport()->height() - 5));
    EXPECT_EQ(details->toPlainText(), U("  消息时间：\n来源：\n发至：\n内容："));

    // A text of several lines keeps its row one line high; the details and the tip show
    // its lines.
    window.AddRow("L3", "t", "s", "d", platform::Gbk("小爱: 第一行\r\n第二行"));
    ASSERT_TRUE(PumpUntil([model] { return model->rowCount() == 3; }));
    EXPECT_EQ(CellOf(model, 2, 4), U("小爱: 第一行 / 第二行"));
    EXPECT_EQ(model->data(model->index(2, 4), Qt::ToolTipRole).toString(),
              U("小爱: 第一行\n第二行"));
    EXPECT_FALSE(model->data(model->index(1, 4), Qt::ToolTipRole).isValid());
    Click(list->viewport(), RowPoint(list, 2));
    EXPECT_EQ(details->toPlainText(),
              U("L3  消息时间：t\n来源：s\n发至：d\n内容：小爱: 第一行\n第二行"));

    // A saved file is named in its message's row, whether it came before or after the row;
    // the row then opens it.
    window.ShowFile("m2", "/a/media/m2.jpg");
    window.AddRow(platform::Gbk("[↓]好友"), "t", "s", "d", platform::Gbk("[图片]"), "m1");
    window.AddRow(platform::Gbk("[↓]好友"), "t", "s", "d", platform::Gbk("[图片]"), "m2");
    ASSERT_TRUE(PumpUntil([model] { return model->rowCount() == 5; }));
    window.ShowFile("m1", "/a/media/m1_价目表.png");
    EXPECT_EQ(CellOf(model, 3, 4), U("[图片] m1_价目表.png"));
    EXPECT_EQ(CellOf(model, 4, 4), U("[图片] m2.jpg"));
    EXPECT_EQ(model->FileAt(3), "/a/media/m1_价目表.png");
    EXPECT_EQ(model->FileAt(2), "");
    EXPECT_FALSE(window.OpenFile(2));

    // Rows not yet shown still count for an export; clear empties everything.
    window.AddRow("L4", "t", "s", "d", "c");
    EXPECT_EQ(model->Rows().size(), 6u);
    Click(list->viewport(), RowPoint(list, 0));
    window.findChild<QPushButton*>(U("按钮_清空"))->click();
    EXPECT_EQ(model->rowCount(), 0);
    EXPECT_TRUE(model->Rows().empty());
    EXPECT_TRUE(details->toPlainText().isEmpty());
}

TEST(MessageWindowTest, ExportButtonWritesEveryRowAndReportsWhereTheFileWent) {
    ViewsRobot views;
    const std::string folder = views.Dir() + "/out";
    platform::MakeDirectories(folder);
    CurrentDir here(folder);
    app::MessageWindow window(views.Robot(), nullptr);
    window.AddRow("A", "1:2:3", "s1", "d1", platform::Gbk("第一"));
    window.AddRow("B", "4:5:6", "s2", "d2", "second");
    window.findChild<QPushButton*>(U("按钮_导出消息"))->click();

    const std::vector<std::string> boxes = views.Screen().TextsOf("ShowMessageBox");
    ASSERT_EQ(boxes.size(), 1u);
    const std::string prefix = platform::Gbk("提示\n导出完毕，文件名为\r\n");
    ASSERT_EQ(boxes[0].substr(0, prefix.size()), prefix);
    // The whole path: the user learns where the file went.
    const std::string path = boxes[0].substr(prefix.size());
    EXPECT_EQ(path.substr(0, path.rfind('/')), std::filesystem::current_path().string());
    EXPECT_EQ(platform::ReadFile(path),
              messages::ExportText({{"A", "1:2:3", "s1", "d1", platform::Gbk("第一")},
                                    {"B", "4:5:6", "s2", "d2", "second"}}));
    EXPECT_EQ(window.Model()->Rows().size(), 2u);  // export leaves the rows
}

// The archive of earlier runs: the log starts with its newest rows, and searchEdit searches
// all of it off the UI thread, a page of 200 at a time, by text, chat and date; a double
// click on a result opens the chat of the contact its key names now.
TEST(MessageWindowTest, SearchEditSearchesTheArchivePageByPageAndOpensTheChatOfAResult) {
    ViewsRobot views;
    app::Robot& robot = views.Robot();
    robot.SetAccountDir(views.Dir());
    FillSampleStore(robot.Contacts());
    app::AssignContactKeys(robot, app::KeysFor::NewLogin);
    const std::string alice_key = robot.Keys().KeyOf("@alice");
    {
        struct Quiet : store::StorePort {
            void OnStoreEvent(const store::StoreEvent&) override {}
        } port;
        store::Store archive({views.Dir() + "/zelmo.db"}, port, views.Clock());
        for (int i = 0; i < 250; ++i) {
            store::ArchiveRow row;
            row.time_ms = 1700000000000 + i * 1000;
            row.kind = "文本";
            row.chat_key = i % 50 == 0 ? "cother" : alice_key;
            row.chat_name = i % 50 == 0 ? "别人" : "爱丽丝";
            row.sender_key = row.chat_key;
            row.sender_name = row.chat_name;
            row.text = "买苹果 " + std::to_string(i);
            archive.Append(row);
        }
        archive.Close();
    }
    robot.Archive().Open();
    app::MessageWindow window(robot, nullptr);
    std::vector<std::string> opened;
    window.SetOpenChat([&opened](std::string nickname, std::string user_name) {
        opened.push_back(nickname + " " + user_name);
    });
    window.ShowArchivedRows(robot.Archive().TakeStartRows());
    window.show();
    ASSERT_EQ(window.Model()->Rows().size(), std::size_t{app::AccountArchive::START_ROWS});
    EXPECT_EQ(window.Model()->Rows().back().content, platform::Gbk("买苹果 249"));

    auto* search = window.findChild<QLineEdit*>(U("searchEdit"));
    auto* more = window.findChild<QPushButton*>(U("searchMoreButton"));
    auto* list = window.findChild<QTableView*>(U("超级列表框_消息"));
    ASSERT_TRUE(search && more && list);
    search->setText(U("苹果"));
    ASSERT_TRUE(PumpUntil([&] { return window.Results()->Rows().size() == 200; }));
    EXPECT_TRUE(window.ShowingResults());
    EXPECT_EQ(CellOf(list->model(), 0, 4), U("买苹果 249"));
    ASSERT_TRUE(more->isVisible());
    more->click();
    ASSERT_TRUE(PumpUntil([&] { return window.Results()->Rows().size() == 250; }));
    EXPECT_FALSE(more->isVisible());

    // A chat's name narrows it; a date after every row leaves nothing.
    window.findChild<QLineEdit*>(U("searchChatEdit"))->setText(U("别人"));
    ASSERT_TRUE(PumpUntil([&] { return window.Results()->Rows().size() == 5; }));
    window.findChild<QCheckBox*>(U("searchSinceCheck"))->setChecked(true);
    auto* status = window.findChild<QLabel*>(U("searchStatusLabel"));
    ASSERT_TRUE(PumpUntil([&] { return status->text() == U("没有找到"); }));
    window.findChild<QCheckBox*>(U("searchSinceCheck"))->setChecked(false);
    window.findChild<QLineEdit*>(U("searchChatEdit"))->clear();
    ASSERT_TRUE(PumpUntil([&] { return window.Results()->Rows().size() == 200; }));

    DoubleClick(list->viewport(), RowPoint(list, 0));
    EXPECT_EQ(opened, std::vector<std::string>{platform::Gbk("爱丽丝") + " @alice"});
    // Back to the log when the search is emptied.
    search->clear();
    ASSERT_TRUE(PumpUntil([&] { return !window.ShowingResults(); }));
    EXPECT_EQ(list->model()->rowCount(), app::AccountArchive::START_ROWS);
}

TEST(MessageWindowTest, DemonstrationSettingShowsItBesideTheReadyMainWindow) {
    ViewsRobot views;
    setenv("ZELMO_SHOW_MESSAGE_WINDOW", "1", 1);
    QWidget owner;
    owner.setGeometry(100, 100, 300, 200);
    owner.setEnabled(false);
    owner.show();
    app::MessageWindow window(views.Robot(), &owner);
    unsetenv("ZELMO_SHOW_MESSAGE_WINDOW");
    EXPECT_FALSE(window.isVisible());
    owner.setEnabled(true);  // the start-up is done
    EXPECT_TRUE(window.isVisible());
    EXPECT_GT(window.x(), owner.frameGeometry().right());
    EXPECT_EQ(window.y(), owner.frameGeometry().top());
    // Only the first time.
    window.hide();
    owner.setEnabled(false);
    owner.setEnabled(true);
    EXPECT_FALSE(window.isVisible());
}

TEST(MessageWindowTest, RowsFromTwentyWorkerThreadsArriveWholeThroughTheScreen) {
    TempDir dir;
    platform::SystemClock clock;
    app::QtUiPort screen(app::AutoAnswer::Yes);
    app::Robot robot(app::RunOptions{dir.Path(), "", app::AutoAnswer::Yes}, clock, screen);
    screen.BindRobot(robot);
    screen.OpenMainWindow();
    ASSERT_TRUE(PumpUntil([&screen] { return screen.Main() != nullptr; }));
    screen.CreateHiddenWindows();
    ASSERT_TRUE(PumpUntil([&screen] { return screen.Messages() != nullptr; }));

    constexpr int THREADS = 20;
    constexpr int ROWS = 250;
    std::vector<std::thread> threads;
    threads.reserve(THREADS);
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([&robot, t] {
            const std::string name = "t" + std::to_string(t);
            for (int n = 0; n < ROWS; ++n) {
                robot.Log().AddRow(name, name, name, std::to_string(n));
            }
        });
    }
    app::LogModel* model = screen.Messages()->Model();
    const bool arrived = PumpUntil([model] { return model->rowCount() == THREADS * ROWS; });
    for (std::thread& thread : threads) {
        thread.join();
    }
    ASSERT_TRUE(arrived) << model->rowCount();
    std::vector<int> next(THREADS, 0);
    for (const messages::LogRow& row : model->Rows()) {
        ASSERT_EQ(row.source, row.label);
        ASSERT_EQ(row.destination, row.label);
        const auto t = static_cast<std::size_t>(std::stoi(row.label.substr(1)));
        ASSERT_EQ(row.content, std::to_string(next[t]));
        ++next[t];
    }
    robot.Shutdown();
}

}  // namespace
}  // namespace zelmo::test
