#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "plugins/PluginHost.h"
#include "plugins/ui/PluginPage.h"
#include "support/PluginTestRobot.h"
#include "widgets/QtText.h"

namespace zelmo::test {
namespace {

using platform::Gbk;

QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

class PluginPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(t.Install(ExamplePlugin("account"), "account.mzp.so"));
        ASSERT_TRUE(t.Install(ExamplePlugin("weather"), "weather.mzp.so"));
        ASSERT_TRUE(t.SetEnableValue("weather.mzp.so", Gbk("天气预报"), "1"));
        plugins::ScanPlugins(t.plugins, t.account_dir, t.screen, false);
        plugins::LoadEnableStates(t.plugins, t.account_dir);
        page.FillPluginList();
        list = page.findChild<QTreeWidget*>(Q("接口列表"));
        placeholder = page.findChild<QLabel*>(Q("暂无插件"));
        ASSERT_NE(list, nullptr);
        ASSERT_NE(placeholder, nullptr);
    }

    QString Label(const char* name) {
        auto* label = page.findChild<QLabel*>(Q(name));
        return label != nullptr ? label->text() : Q("<missing>");
    }

    void Select(int row) {
        if (row < 0) {
            list->clearSelection();
        } else {
            list->setCurrentItem(list->topLevelItem(row));  // as a click: the only selection
        }
    }

    // The user's click on a row's check box.
    void Click(int row) {
        QTreeWidgetItem* item = list->topLevelItem(row);
        item->setCheckState(0, item->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }

    bool Enabled(std::size_t index) { return (*t.plugins.Table())[index].Enabled; }

    void Press(const char* button) { page.findChild<QPushButton*>(Q(button))->click(); }

    PluginTestRobot t;
    plugins::PluginPage page{t.plugins, t.account_dir, t.screen, nullptr};
    QTreeWidget* list = nullptr;
    QLabel* placeholder = nullptr;
};

TEST_F(PluginPageTest, TheListShowsEveryRecordWithItsFlagAndThePlaceholder) {
    ASSERT_EQ(list->columnCount(), 2);
    EXPECT_EQ(list->headerItem()->text(0), QString());
    EXPECT_EQ(list->headerItem()->text(1), Q("名称"));
    EXPECT_EQ(list->columnWidth(0), 20);
    EXPECT_EQ(list->columnWidth(1), 155);
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(0)->text(1), Q("帐号助手(account.mzp.so)"));
    EXPECT_EQ(list->topLevelItem(1)->text(1), Q("天气预报(weather.mzp.so)"));
    EXPECT_EQ(page.Checks(), (std::vector<bool>{false, true}));
    EXPECT_FALSE(placeholder->isHidden());
    EXPECT_EQ(placeholder->text(), Q("请选择插件"));
    EXPECT_EQ(page.findChild<QPushButton*>(Q("按钮_刷新"))->text(), Q("刷新"));
    EXPECT_EQ(page.findChild<QPushButton*>(Q("按钮_卸载"))->text(), Q("卸载"));
    for (const char* caption : {"文件名：", "插件名称：", "版本：", "作者：", "在功能列表中显示：",
                                "发送格式：", "介绍："}) {
        bool found = false;
        for (const QLabel* label : page.findChildren<QLabel*>()) {
            found = found || label->text() == Q(caption);
        }
        EXPECT_TRUE(found) << caption;
    }
}

TEST_F(PluginPageTest, SelectingARowShowsItsDetailsAndSelectingNoneThePlaceholder) {
    Select(1);
    EXPECT_TRUE(placeholder->isHidden());
    EXPECT_EQ(Label("标签_文件名"), Q("weather.mzp.so"));
    EXPECT_EQ(Label("标签_插件名"), Q("天气预报"));
    EXPECT_EQ(Label("标签_版本"), Q("1.0"));
    EXPECT_EQ(Label("标签_作者"), Q("Zelmo 示例"));
    EXPECT_EQ(Label("标签_显示"), Q("是"));
    EXPECT_EQ(Label("标签_发送格式"), Q("天气城市"));
    EXPECT_EQ(page.findChild<QPlainTextEdit*>(Q("编辑框_介绍"))->toPlainText(),
              Q("查询城市的天气，例如：天气北京"));
    Select(0);
    EXPECT_EQ(Label("标签_显示"), Q("否"));
    EXPECT_EQ(Label("标签_发送格式"), Q("我的帐号"));
    Select(-1);
    EXPECT_FALSE(placeholder->isHidden());
}

TEST_F(PluginPageTest, ACheckEnablesAtOnceAndReachesTheFileWhenThePageSaves) {
    Click(1);
    EXPECT_FALSE(Enabled(1));
    EXPECT_EQ(t.EnableValue("weather.mzp.so", Gbk("天气预报")), "1");  // not saved yet
    Click(1);
    EXPECT_TRUE(Enabled(1));
    Click(1);
    page.SaveChecks();
    EXPECT_EQ(t.EnableValue("weather.mzp.so", Gbk("天气预报")), "0");
    EXPECT_EQ(t.EnableValue("account.mzp.so", Gbk("帐号助手")), "0");
    EXPECT_EQ(t.screen.CountOf("AskYesNo"), 0u);
}

TEST_F(PluginPageTest, CheckingAnAccountPluginAsksAndOnlyAYesLeavesItChecked) {
    t.screen.ScriptAnswers({false, true});
    Click(0);
    EXPECT_EQ(list->topLevelItem(0)->checkState(0), Qt::Unchecked);
    EXPECT_FALSE(Enabled(0));
    ASSERT_EQ(t.screen.TextsOf("AskYesNo").size(), 1u);
    EXPECT_EQ(t.screen.TextsOf("AskYesNo")[0],
              Gbk("提示\n帐号助手插件试图获取您的帐号信息，是否允许？\r\n注意:"
                  "请只给您信任的插件此信息，以免账号被盗！"));
    Click(0);
    EXPECT_EQ(list->topLevelItem(0)->checkState(0), Qt::Checked);
    EXPECT_TRUE(Enabled(0));
    EXPECT_EQ(t.screen.CountOf("AskYesNo"), 2u);  // setting the box again asked nothing more
    Click(0);                                     // clearing never asks
    EXPECT_FALSE(Enabled(0));
    EXPECT_EQ(t.screen.CountOf("AskYesNo"), 2u);
}

TEST_F(PluginPageTest, RefreshSavesTheChecksAndShowsWhatTheFolderHoldsNow) {
    Click(1);  // weather off, not yet saved
    ASSERT_TRUE(t.Install(ExamplePlugin("bracket"), "bracket.mzp.so"));
    Press("按钮_刷新");
    EXPECT_EQ(t.EnableValue("weather.mzp.so", Gbk("天气预报")), "0");
    ASSERT_EQ(list->topLevelItemCount(), 3);
    EXPECT_EQ(list->topLevelItem(1)->text(1), Q("复读机(bracket.mzp.so)"));
    EXPECT_EQ(page.Checks(), (std::vector<bool>{false, false, false}));
    EXPECT_EQ(t.screen.TextsOf("ShowStatus"),
              (std::vector<std::string>{"[4/5] account.mzp.so", "[4/5] weather.mzp.so",
                                        Gbk("载入:account.mzp.so"), Gbk("载入:bracket.mzp.so"),
                                        Gbk("载入:weather.mzp.so")}));
    EXPECT_EQ(t.screen.CountOf("CloseStatus"), 1u);
    EXPECT_FALSE(placeholder->isHidden());
}

TEST_F(PluginPageTest, UninstallAsksThenRemovesTheLibraryKeepingTheOtherRowsChecks) {
    Press("按钮_卸载");  // nothing selected: nothing asked, nothing removed
    EXPECT_EQ(t.screen.CountOf("AskYesNo"), 0u);

    t.screen.ScriptAnswers({false, true});
    Select(1);
    Press("按钮_卸载");
    EXPECT_EQ(t.screen.TextsOf("AskYesNo")[0], Gbk("提示\n您真的要卸载插件\"天气预报\"吗？"));
    EXPECT_TRUE(platform::FileExists(t.PluginPath("weather.mzp.so")));
    EXPECT_EQ(list->topLevelItemCount(), 2);

    t.screen.ScriptAnswers({true});
    Click(0);  // the account plugin, consented, checked but not saved
    Select(1);
    Press("按钮_卸载");
    EXPECT_FALSE(platform::FileExists(t.PluginPath("weather.mzp.so")));
    EXPECT_FALSE(platform::FileExists(t.EnablePath("weather.mzp.so")));
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(1), Q("帐号助手(account.mzp.so)"));
    EXPECT_EQ(page.Checks(), (std::vector<bool>{true}));
    EXPECT_TRUE(Enabled(0));
    EXPECT_FALSE(placeholder->isHidden());
}

}  // namespace
}  // namespace zelmo::test
