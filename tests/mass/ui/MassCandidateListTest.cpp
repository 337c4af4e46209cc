#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <vector>

#include "mass/ui/MassCandidateList.h"
#include "mass/ui/MassSendWindow.h"
#include "platform/GbkLiteral.h"
#include "support/gui/ViewsSupport.h"
#include "widgets/QtText.h"

namespace zelmo::test {
namespace {

using widgets::U;

TEST(MassCandidateListTest, MassCandidatesLeaveOutPublicAccountsOnly) {
    ViewsRobot views;
    FillSampleStore(views.Robot().Contacts());
    mass::MassSendWindow window(views.Robot().MassParts(), views.Robot().Contacts(), nullptr);
    window.FillCandidates();
    mass::MassCandidateList* candidates = window.Candidates();
    ASSERT_NE(candidates, nullptr);
    auto* list = window.findChild<QTreeView*>(U("群发列表框_成员"));
    ASSERT_EQ(list, candidates->View());
    EXPECT_EQ(Columns(list), QStringList({U("选中:36"), U("UserName:0"), U("昵称:110"),
                                          U("性别:50"), U("地区:80")}));

    mass::CandidateModel* model = candidates->Model();
    ASSERT_EQ(model->rowCount(), 4);
    std::vector<std::string> names;
    for (int row = 0; row < model->rowCount(); ++row) {
        names.push_back(model->CellText(row, 1));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"@alice", "@@team", "@odd", "@bob"}));
    EXPECT_EQ(model->CellText(0, 3), platform::Gbk("女"));
    EXPECT_EQ(model->CellText(0, 4), platform::Gbk("广东 深圳"));
    EXPECT_EQ(model->data(model->index(0, 0), Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_TRUE(model->flags(model->index(0, 0)).testFlag(Qt::ItemIsUserCheckable));

    // Ticks come back top to bottom, and a refill drops them.
    model->setData(model->index(3, 0), Qt::Checked, Qt::CheckStateRole);
    model->SetTicked(1, true);
    const std::vector<mass::MassMember> ticked = candidates->TickedCandidates();
    ASSERT_EQ(ticked.size(), 2u);
    EXPECT_EQ(ticked[0].UserName, "@@team");
    EXPECT_EQ(ticked[0].NickName, platform::Gbk("团队"));
    EXPECT_EQ(ticked[1].UserName, "@bob");
    window.FillCandidates();
    EXPECT_TRUE(candidates->TickedCandidates().empty());
}

TEST(MassCandidateListTest, KindCheckBoxesReapplyAllThreeStates) {
    ViewsRobot views;
    FillSampleStore(views.Robot().Contacts());
    mass::MassCandidateList candidates(views.Robot().Contacts(), nullptr);
    candidates.FillMassCandidates();
    auto* groups = candidates.findChild<QCheckBox*>(U("选择框_群"));
    auto* male = candidates.findChild<QCheckBox*>(U("选择框_男"));
    auto* female = candidates.findChild<QCheckBox*>(U("选择框_女"));
    ASSERT_TRUE(groups && male && female);
    mass::CandidateModel* model = candidates.Model();

    groups->click();
    EXPECT_TRUE(model->Ticked(1));
    model->SetTicked(1, false);  // the user unticks the group by hand
    model->SetTicked(2, true);   // and ticks the contact of unknown kind
    male->click();
    EXPECT_TRUE(model->Ticked(1));   // 选择框_群 is still checked
    EXPECT_TRUE(model->Ticked(3));   // male
    EXPECT_FALSE(model->Ticked(0));  // female unchecked
    EXPECT_TRUE(model->Ticked(2));   // other kinds keep their tick
    groups->click();
    EXPECT_FALSE(model->Ticked(1));
    EXPECT_TRUE(model->Ticked(3));
}

TEST(MassCandidateListTest, SearchSelectsTheFirstMatchAndClearsOnNoMatch) {
    ViewsRobot views;
    FillSampleStore(views.Robot().Contacts());
    views.Robot().Contacts().AppendIfNew(Contact("@bobby", "bobby", "男"));
    mass::MassCandidateList candidates(views.Robot().Contacts(), nullptr);
    candidates.FillMassCandidates();
    auto* search = candidates.findChild<QLineEdit*>(U("编辑框_搜索"));
    auto* button = candidates.findChild<QPushButton*>(U("按钮_搜索"));
    ASSERT_TRUE(search && button);
    EXPECT_EQ(search->text(), U("输入昵称"));

    QFocusEvent focus_in(QEvent::FocusIn);
    QApplication::sendEvent(search, &focus_in);
    EXPECT_TRUE(search->text().isEmpty());
    QFocusEvent focus_out(QEvent::FocusOut);
    QApplication::sendEvent(search, &focus_out);
    EXPECT_EQ(search->text(), U("输入昵称"));

    QTreeView* list = candidates.View();
    search->setText("BOB");  // ASCII letters fold; the first match wins
    button->click();
    QModelIndexList rows = list->selectionModel()->selectedRows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows.front().row(), 3);
    search->setText(U("丽丝"));
    button->click();
    rows = list->selectionModel()->selectedRows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows.front().row(), 0);

    search->setText(U("无此人"));
    button->click();
    EXPECT_TRUE(list->selectionModel()->selectedRows().isEmpty());
}

TEST(MassCandidateListTest, CandidateControlsCanBeDisabledTogether) {
    ViewsRobot views;
    mass::MassCandidateList candidates(views.Robot().Contacts(), nullptr);
    candidates.SetControlsEnabled(false);
    for (const char* name : {"群发列表框_成员", "编辑框_搜索", "按钮_搜索", "标签_刷新",
                             "选择框_群", "选择框_男", "选择框_女"}) {
        auto* control = candidates.findChild<QWidget*>(U(name));
        ASSERT_NE(control, nullptr) << name;
        EXPECT_FALSE(control->isEnabled()) << name;
    }
    candidates.SetControlsEnabled(true);
    EXPECT_TRUE(candidates.findChild<QWidget*>(U("选择框_群"))->isEnabled());
}

}  // namespace
}  // namespace zelmo::test
