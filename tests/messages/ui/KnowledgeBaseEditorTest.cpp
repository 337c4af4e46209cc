#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <memory>
#include <string>

#include "app/Robot.h"
#include "config/AccountPaths.h"
#include "messages/ui/KnowledgeBaseEditor.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "support/FakeClock.h"
#include "support/StubScreen.h"
#include "support/TestSupport.h"
#include "widgets/ClickableLabel.h"
#include "widgets/QtText.h"

namespace zelmo::messages {
namespace {

using platform::Gbk;

QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// An editor over a base loaded from "k1 r1 / k2 r2 / k3 r3" in a robot that is never
// logged in.
class KnowledgeBaseEditorTest : public ::testing::Test {
protected:
    KnowledgeBaseEditorTest() : robot({}, clock, screen) {
        robot.SetAccountDir(dir.Path());
        platform::MakeDirectories(dir.Path() + "/config");
        platform::WriteFileAtomic(Path(), "k1\r\nr1\r\n\r\nk2\r\nr2[enter]more\r\n\r\nk3\r\nr3");
        robot.Knowledge().Load(Path());
        editor = std::make_unique<KnowledgeBaseEditor>(robot.Knowledge(), robot.AccountDir(),
                                                       screen, nullptr);
        list = editor->findChild<QTableView*>(Q("关键词列表"));
        keyword = editor->findChild<QLineEdit*>(Q("编辑框_关键词"));
        reply = editor->findChild<QPlainTextEdit*>(Q("编辑框_回复消息"));
        add = editor->findChild<widgets::ClickableLabel*>(Q("标签_添加"));
        remove = editor->findChild<widgets::ClickableLabel*>(Q("标签_删除"));
        save = editor->findChild<QPushButton*>(Q("按钮_保存"));
        cancel = editor->findChild<QPushButton*>(Q("按钮_取消"));
        editor->show();
    }

    std::string Path() const { return config::ConfigPath(dir.Path(), config::REPLY_BASE_FILE); }
    bool AllControlsFound() const {
        return list && keyword && reply && add && remove && save && cancel;
    }
    void Select(int row) {
        list->selectionModel()->setCurrentIndex(
            list->model()->index(row, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    int Selected() const {
        const QModelIndexList rows = list->selectionModel()->selectedRows();
        return rows.isEmpty() ? -1 : rows.front().row();
    }
    QString Cell(int row, int column) const {
        return list->model()->index(row, column).data().toString();
    }

    test::TempDir dir;
    test::FakeClock clock;
    test::StubScreen screen;
    app::Robot robot;
    std::unique_ptr<KnowledgeBaseEditor> editor;
    QTableView* list = nullptr;
    QLineEdit* keyword = nullptr;
    QPlainTextEdit* reply = nullptr;
    widgets::ClickableLabel* add = nullptr;
    widgets::ClickableLabel* remove = nullptr;
    QPushButton* save = nullptr;
    QPushButton* cancel = nullptr;
};

TEST_F(KnowledgeBaseEditorTest, ShowsTheRowsAndFillsTheBoxesFromTheSelection) {
    ASSERT_TRUE(AllControlsFound());
    EXPECT_EQ(editor->windowTitle(), Q("设置 - 词库编辑器"));
    ASSERT_EQ(list->model()->rowCount(), 3);
    EXPECT_EQ(Cell(1, 0), "k2");
    EXPECT_EQ(Cell(1, 1), "r2[enter]more");

    Select(1);
    EXPECT_EQ(keyword->text(), "k2");
    EXPECT_EQ(reply->toPlainText(), "r2\nmore");
    // Showing a row is not an edit.
    EXPECT_FALSE(robot.Knowledge().Dirty());
}

TEST_F(KnowledgeBaseEditorTest, BoxEditsChangeTheSelectedRowAndMarkTheBaseChanged) {
    ASSERT_TRUE(AllControlsFound());
    Select(1);
    keyword->setText("new key");
    EXPECT_TRUE(robot.Knowledge().Dirty());
    reply->setPlainText(Q("第一行\n第二行"));
    EXPECT_EQ(Cell(1, 0), "new key");
    EXPECT_EQ(robot.Knowledge().Row(1)->reply, Gbk("第一行[enter]第二行"));
    // Lookups keep answering from the saved base until the next save.
    EXPECT_EQ(robot.Knowledge().Pair(1)->keyword, "k2");
}

TEST_F(KnowledgeBaseEditorTest, AddUsesTheBoxesOrPlaceholdersAtTheSelectedRow) {
    ASSERT_TRUE(AllControlsFound());
    list->clearSelection();
    keyword->clear();
    reply->clear();
    emit add->clicked();
    ASSERT_EQ(list->model()->rowCount(), 4);
    EXPECT_EQ(Cell(3, 0), Q("-关键词-"));
    EXPECT_EQ(Cell(3, 1), Q("-回复-"));
    EXPECT_EQ(Selected(), 3);

    Select(1);
    keyword->setText("k2b");  // edits row 1
    emit add->clicked();      // inserts a copy of the boxes before row 1
    ASSERT_EQ(list->model()->rowCount(), 5);
    EXPECT_EQ(Cell(1, 0), "k2b");
    EXPECT_EQ(Cell(1, 1), "r2[enter]more");
    EXPECT_EQ(Cell(2, 0), "k2b");
    EXPECT_EQ(Selected(), 1);
    EXPECT_TRUE(robot.Knowledge().Dirty());
}

TEST_F(KnowledgeBaseEditorTest, DeleteSelectsTheRowBeforeAndDoesNothingWithoutASelection) {
    ASSERT_TRUE(AllControlsFound());
    list->clearSelection();
    emit remove->clicked();
    EXPECT_EQ(list->model()->rowCount(), 3);

    Select(2);
    emit remove->clicked();
    ASSERT_EQ(list->model()->rowCount(), 2);
    EXPECT_EQ(Selected(), 1);
    EXPECT_EQ(keyword->text(), "k2");

    Select(0);
    emit remove->clicked();
    ASSERT_EQ(list->model()->rowCount(), 1);
    EXPECT_EQ(Selected(), 0);
    EXPECT_EQ(keyword->text(), "k2");

    emit remove->clicked();
    EXPECT_EQ(list->model()->rowCount(), 0);
    EXPECT_EQ(keyword->text(), "");
    EXPECT_EQ(reply->toPlainText(), "");
}

TEST_F(KnowledgeBaseEditorTest, SaveWritesTheRowsAndCancelDiscardsEditsButNotLearnedPairs) {
    ASSERT_TRUE(AllControlsFound());
    robot.Knowledge().LearnPair("q", "a");
    editor->ShowRows();
    EXPECT_EQ(list->model()->rowCount(), 4);
    Select(0);
    keyword->setText("edited");
    emit add->clicked();

    // The pair learned in a chat stays, unsaved; the edit and the added row go.
    cancel->click();
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(list->model()->rowCount(), 4);
    EXPECT_EQ(Cell(0, 0), "k1");
    EXPECT_EQ(Cell(3, 0), "q");
    EXPECT_EQ(robot.Knowledge().PairCount(), 4u);
    EXPECT_TRUE(robot.Knowledge().Dirty());

    editor->show();
    Select(0);
    keyword->setText("edited");
    save->click();
    EXPECT_FALSE(editor->isVisible());
    EXPECT_FALSE(robot.Knowledge().Dirty());
    // Only the edited block is written anew.
    EXPECT_EQ(platform::ReadFile(Path()),
              "edited\r\nr1\r\n\r\nk2\r\nr2[enter]more\r\n\r\nk3\r\nr3\r\n\r\nq\r\na");
    EXPECT_EQ(robot.Knowledge().Pair(0)->keyword, "edited");
}

TEST_F(KnowledgeBaseEditorTest, LearnedRowsAppearWithoutLosingTheSelection) {
    ASSERT_TRUE(AllControlsFound());
    Select(1);
    robot.Knowledge().LearnPair("q", "a");
    EXPECT_EQ(screen.CountOf("ReplyBaseChanged"), 2u);  // the load and the learned pair
    editor->ShowRows();
    ASSERT_EQ(list->model()->rowCount(), 4);
    EXPECT_EQ(Cell(3, 0), "q");
    EXPECT_EQ(Selected(), 1);
}

// 选择文件…: the picked file is copied into replies/ and the row's reply names it; the line
// under the box tells which file a reply sends, or that it is missing.
TEST_F(KnowledgeBaseEditorTest, APickedFileBecomesTheRowsPictureReply) {
    ASSERT_TRUE(AllControlsFound());
    auto* file = editor->findChild<QLabel*>(Q("标签_回复文件"));
    ASSERT_TRUE(file && editor->findChild<QPushButton*>(Q("按钮_选择文件")));
    const std::string picked = dir.Path() + "/价目表.png";
    platform::WriteFileAtomic(picked, "png bytes");
    EXPECT_FALSE(editor->UseReplyFile(picked));  // no row selected
    Select(1);
    ASSERT_TRUE(editor->UseReplyFile(picked));
    EXPECT_EQ(robot.Knowledge().Row(1)->reply, Gbk("[图片=价目表.png]"));
    EXPECT_EQ(platform::ReadFile(dir.Path() + "/replies/价目表.png"), "png bytes");
    EXPECT_TRUE(file->text().contains(Q("发送回复文件 replies/价目表.png")));
    reply->setPlainText(Q("[文件=不在.pdf]"));
    EXPECT_TRUE(file->text().contains(Q("找不到回复文件")));
}

TEST_F(KnowledgeBaseEditorTest, ClosingAsksOnlyWhenChangedAndAlwaysHides) {
    ASSERT_TRUE(AllControlsFound());
    EXPECT_FALSE(editor->close());
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(screen.CountOf("AskYesNo"), 0u);

    editor->show();
    Select(0);
    keyword->setText("not saved");
    screen.ScriptAnswers({false, true});
    EXPECT_FALSE(editor->close());
    EXPECT_FALSE(editor->isVisible());
    ASSERT_EQ(screen.TextsOf("AskYesNo").size(), 1u);
    EXPECT_EQ(screen.TextsOf("AskYesNo")[0], Gbk("提示\n您已修改了词库，是否保存"));
    EXPECT_TRUE(robot.Knowledge().Dirty());
    EXPECT_EQ(platform::ReadFile(Path()).substr(0, 2), "k1");

    editor->show();
    keyword->setText("saved");
    editor->close();
    EXPECT_FALSE(robot.Knowledge().Dirty());
    EXPECT_EQ(platform::ReadFile(Path()).substr(0, 5), "saved");
}

}  // namespace
}  // namespace zelmo::messages
