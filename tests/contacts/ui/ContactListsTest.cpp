#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTreeView>
#include <vector>

#include "app/ui/MainWindow.h"
#include "contacts/ui/ContactListModel.h"
#include "contacts/ui/ListColumns.h"
#include "contacts/ui/MemberListWindow.h"
#include "platform/GbkLiteral.h"
#include "support/gui/ViewsSupport.h"
#include "widgets/ClickableLabel.h"
#include "widgets/QtText.h"

namespace zelmo::test {
namespace {

using contacts::ContactListModel;
using widgets::U;

QTreeView* List(QWidget& window, const char* name) {
    auto* list = window.findChild<QTreeView*>(U(name));
    EXPECT_NE(list, nullptr) << name;
    return list;
}

QStringList Titles(QTreeView* list) {
    QStringList titles;
    for (int i = 0; i < list->model()->columnCount(); ++i) {
        titles << list->model()->headerData(i, Qt::Horizontal).toString();
    }
    return titles;
}

// The width a column's shown texts need.
int Wants(const QAbstractItemView* list, int column) {
    return list->sizeHintForColumn(column);
}

ContactListModel* ModelOf(QTreeView* list) {
    return static_cast<ContactListModel*>(list->model());
}

std::string Cell(QTreeView* list, int row, int column) {
    return ModelOf(list)->CellText(row, column);
}

void Select(QTreeView* list, int row) {
    list->setCurrentIndex(list->model()->index(row, 0));
}

TEST(ContactListsTest, EachKindShowsInItsOwnListWithEveryColumn) {
    ViewsRobot views;
    FillSampleStore(views.Robot().Contacts());
    app::MainWindow window(views.Robot(), {});
    window.RefreshContactLists();

    QTreeView* friends = List(window, "好友列表框");
    QTreeView* groups = List(window, "群号列表");
    QTreeView* accounts = List(window, "公众号列表框");
    ASSERT_EQ(friends->model()->rowCount(), 2);
    ASSERT_EQ(groups->model()->rowCount(), 1);
    ASSERT_EQ(accounts->model()->rowCount(), 1);

    // Store order, numbered from 1; the unknown kind is in none of the three.
    const std::vector<std::string> alice = {"1",
                                            "@alice",
                                            "11",
                                            "alice_w",
                                            platform::Gbk("爱丽丝"),
                                            platform::Gbk("小爱"),
                                            platform::Gbk("女"),
                                            platform::Gbk("广东 深圳")};
    for (int column = 0; column < 8; ++column) {
        EXPECT_EQ(Cell(friends, 0, column), alice[static_cast<std::size_t>(column)]) << column;
    }
    EXPECT_EQ(Cell(friends, 1, 0), "2");
    EXPECT_EQ(Cell(friends, 1, 1), "@bob");
    EXPECT_EQ(Cell(friends, 1, 7), " ");
    EXPECT_EQ(Cell(groups, 0, 0), "1");
    EXPECT_EQ(Cell(groups, 0, 1), "@@team");
    EXPECT_EQ(Cell(groups, 0, 3), platform::Gbk("团队"));
    EXPECT_EQ(Cell(groups, 0, 4), "3");
    EXPECT_EQ(Cell(groups, 0, 5), "77");
    EXPECT_EQ(Cell(accounts, 0, 1), "@news");
    EXPECT_EQ(Cell(accounts, 0, 3), "daily");
    EXPECT_EQ(Cell(accounts, 0, 4), platform::Gbk("新闻"));
    EXPECT_EQ(friends->model()->data(friends->model()->index(0, 4)).toString(), U("爱丽丝"));

    // The titles in their order; username and uin are there but hidden.
    EXPECT_EQ(Titles(friends), QStringList({"ID", "username", "uin", U("微信号"), U("昵称"),
                                            U("备注"), U("性别"), U("地区")}));
    EXPECT_EQ(Titles(groups),
              QStringList({"ID", "username", "uin", U("昵称"), U("成员数"), U("群主")}));
    EXPECT_EQ(Titles(accounts),
              QStringList({"ID", "username", "uin", U("微信号"), U("昵称"), U("地区")}));
    for (QTreeView* list : {friends, groups, accounts}) {
        EXPECT_EQ(list->header()->sectionSize(1), 0);
        EXPECT_EQ(list->header()->sectionSize(2), 0);
    }

    // A refill rebuilds every row from the store; hidden columns stay hidden.
    views.Robot().Contacts().AppendIfNew(Contact("@carol", "Carol", "女"));
    window.RefreshContactLists();
    ASSERT_EQ(friends->model()->rowCount(), 3);
    EXPECT_EQ(Cell(friends, 2, 0), "3");
    EXPECT_EQ(Cell(friends, 2, 1), "@carol");
    EXPECT_EQ(friends->header()->sectionSize(1), 0);
    EXPECT_EQ(friends->header()->sectionSize(2), 0);

    // A friend who never set a gender is a friend of unknown sex.
    views.Robot().Contacts().AppendIfNew(Contact("@zero", "没填性别", "未知"));
    window.RefreshContactLists();
    ASSERT_EQ(friends->model()->rowCount(), 4);
    EXPECT_EQ(Cell(friends, 3, 1), "@zero");
    EXPECT_EQ(Cell(friends, 3, 6), platform::Gbk("未知"));
    EXPECT_EQ(accounts->model()->rowCount(), 1);
}

TEST(ContactListsTest, EveryColumnShowsWithoutScrollingAtTheDefaultSize) {
    ViewsRobot views;
    contacts::ContactStore& store = views.Robot().Contacts();
    FillSampleStore(store);
    contacts::ContactRecord buddy = Contact("@long", "一个名字很长很长很长很长的好朋友", "男");
    buddy.Alias = "a_rather_long_wechat_alias_2024";
    buddy.RemarkName = platform::Gbk("备注也写得相当长的一位老朋友");
    buddy.Province = platform::Gbk("内蒙古自治区");
    buddy.City = platform::Gbk("呼和浩特市");
    store.AppendIfNew(buddy);
    contacts::ContactRecord group =
        Contact("@@long", "一个名字很长很长很长很长很长很长的群", "微群");
    group.MemberCount = "500";
    group.OwnerUin = "2100000001987654321";
    store.AppendIfNew(group);
    contacts::ContactRecord account = Contact("@@@news", "每日新闻早知道晚知道都知道", "公众号");
    account.Alias = "daily_news_official_account";
    account.Province = platform::Gbk("黑龙江");
    account.City = platform::Gbk("齐齐哈尔");
    store.AppendIfNew(account);
    app::MainWindow window(views.Robot(), {});
    window.RefreshContactLists();
    window.show();  // at its own default size
    auto* tabs = window.findChild<QTabWidget*>(U("选择夹1"));

    for (int tab = 0; tab < 3; ++tab) {
        tabs->setCurrentIndex(tab);
        QApplication::processEvents();
        auto* list = static_cast<QTreeView*>(tabs->widget(tab));
        QHeaderView* header = list->header();
        SCOPED_TRACE(list->objectName().toStdString());
        EXPECT_EQ(list->horizontalScrollBar()->maximum(), 0);
        int total = 0;
        for (int column = 0; column < header->count(); ++column) {
            EXPECT_EQ(header->visualIndex(column), column);
            total += header->sectionSize(column);
            if (column == 1 || column == 2) {
                EXPECT_EQ(header->sectionSize(column), 0);
            } else {
                // Never narrower than its title.
                EXPECT_GE(header->sectionSize(column), header->sectionSizeHint(column)) << column;
            }
        }
        EXPECT_LE(total, list->viewport()->width());
    }
    // Short columns get what they need; the longest texts give way.
    QTreeView* friends = List(window, "好友列表框");
    tabs->setCurrentIndex(0);
    QApplication::processEvents();
    for (int column : {0, 6}) {
        EXPECT_GE(friends->columnWidth(column), Wants(friends, column)) << column;
    }
    EXPECT_LT(friends->columnWidth(4), Wants(friends, 4));

    // With room to spare every text shows whole, and still nothing scrolls.
    window.resize(1600, 520);
    QApplication::processEvents();
    for (int column : {0, 3, 4, 5, 6, 7}) {
        EXPECT_GE(friends->columnWidth(column), Wants(friends, column)) << column;
    }
    EXPECT_EQ(friends->horizontalScrollBar()->maximum(), 0);

    // A column the user sized by hand keeps its width through refills and resizes.
    QHeaderView* header = friends->header();
    const int before = header->sectionSize(3);
    const QPoint edge(header->sectionViewportPosition(3) + before - 1, header->height() / 2);
    auto mouse = [header](QEvent::Type type, QPoint pos, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(pos), header->viewport()->mapToGlobal(QPointF(pos)),
                          Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(header->viewport(), &event);
    };
    mouse(QEvent::MouseButtonPress, edge, Qt::LeftButton);
    mouse(QEvent::MouseMove, edge - QPoint(30, 0), Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, edge - QPoint(30, 0), Qt::NoButton);
    ASSERT_EQ(header->sectionSize(3), before - 30);
    window.RefreshContactLists();
    window.resize(1500, 520);
    QApplication::processEvents();
    EXPECT_EQ(header->sectionSize(3), before - 30);
}

TEST(ContactListsTest, FitWidthsGivesTheWidestWayFirstAndSpareRoomToTheLast) {
    using contacts::FitWidths;
    using Widths = std::vector<int>;
    EXPECT_EQ(FitWidths({50, 0, 0, 100, 100}, {20, 0, 0, 30, 30}, 400),
              (Widths{50, 0, 0, 100, 250}));
    EXPECT_EQ(FitWidths({40, 300, 200, 60}, {20, 30, 30, 30}, 400), (Widths{40, 150, 150, 60}));
    // A title wider than its contents still shows.
    EXPECT_EQ(FitWidths({10, 300}, {40, 30}, 200), (Widths{40, 160}));
    // Too narrow for the titles: they keep their widths, and the view scrolls.
    EXPECT_EQ(FitWidths({40, 300, 200, 60}, {20, 30, 30, 30}, 50), (Widths{20, 30, 30, 30}));
    EXPECT_EQ(FitWidths({0, 0}, {}, 100), (Widths{0, 0}));
    EXPECT_TRUE(FitWidths({}, {}, 100).empty());
}

TEST(ContactListsTest, RefreshLabelRefillsAndIsEnabledAfterwards) {
    ViewsRobot views;
    FillSampleStore(views.Robot().Contacts());
    app::MainWindow window(views.Robot(), {});
    auto* refresh = window.findChild<widgets::ClickableLabel*>(U("标签_刷新"));
    ASSERT_NE(refresh, nullptr);
    window.show();
    Click(refresh);
    EXPECT_EQ(List(window, "好友列表框")->model()->rowCount(), 2);
    EXPECT_TRUE(refresh->isEnabled());
}

TEST(ContactListsTest, DoubleClickOpensTheChatOnlyOnASelectedRow) {
    ViewsRobot views;
    FillSampleStore(views.Robot().Contacts());
    app::MainWindow window(views.Robot(), {});
    window.RefreshContactLists();
    window.resize(760, 520);
    window.show();
    QTreeView* friends = List(window, "好友列表框");

    // Below the last row there is nothing to select.
    const QPoint empty(5, friends->viewport()->height() - 5);
    ASSERT_FALSE(friends->indexAt(empty).isValid());
    Select(friends, 0);
    DoubleClick(friends->viewport(), empty);
    EXPECT_EQ(window.Chat(), nullptr);
    EXPECT_TRUE(friends->selectionModel()->selectedRows().isEmpty());

    DoubleClick(friends->viewport(), RowPoint(friends, 1));
    ASSERT_NE(window.Chat(), nullptr);
    EXPECT_EQ(window.Chat()->TargetUserName(), "@bob");
    EXPECT_EQ(window.Chat()->windowTitle(), U("发送消息 - Bob"));

    // The group list names the chat after its column 3; the same window re-targets.
    auto* tabs = window.findChild<QTabWidget*>(U("选择夹1"));
    tabs->setCurrentIndex(1);
    QTreeView* groups = List(window, "群号列表");
    DoubleClick(groups->viewport(), RowPoint(groups, 0));
    EXPECT_EQ(window.Chat()->TargetUserName(), "@@team");
    EXPECT_EQ(window.Chat()->windowTitle(), U("发送消息 - 团队"));
    EXPECT_EQ(window.findChildren<contacts::ChatWindow*>().size(), 1);
}

TEST(ContactListsTest, RightClickPopsTheMenuOnlyOverASelectedRow) {
    ViewsRobot views;
    FillSampleStore(views.Robot().Contacts());
    app::MainWindow window(views.Robot(), {});
    window.RefreshContactLists();
    window.show();
    QTreeView* friends = List(window, "好友列表框");
    QTreeView* groups = List(window, "群号列表");
    auto* friend_menu = window.findChild<QMenu*>(U("-好友菜单"));
    auto* group_menu = window.findChild<QMenu*>(U("-群菜单"));
    ASSERT_TRUE(friend_menu && group_menu);

    emit friends->customContextMenuRequested(QPoint(5, 5));
    EXPECT_FALSE(friend_menu->isVisible());
    Select(friends, 1);
    emit friends->customContextMenuRequested(QPoint(5, 5));
    EXPECT_TRUE(friend_menu->isVisible());
    EXPECT_FALSE(group_menu->isVisible());
    friend_menu->hide();
    Select(groups, 0);
    emit groups->customContextMenuRequested(QPoint(5, 5));
    EXPECT_TRUE(group_menu->isVisible());
    group_menu->hide();
}

TEST(ContactListsTest, EditedSignatureIsDiscardedWhenTheEditEnds) {
    ViewsRobot views;
    views.Robot().Sessions().Update(
        [](protocol::ProtocolState& state) { state.own.Signature = platform::Gbk("原来的签名"); });
    app::MainWindow window(views.Robot(), {});
    window.ShowOwnHeader({}, platform::Gbk("我"), platform::Gbk("原来的签名"));
    window.show();
    auto* label = window.findChild<widgets::ClickableLabel*>(U("签名透明_个签"));
    auto* box = window.findChild<QLineEdit*>(U("签名框"));
    auto* nickname = window.findChild<widgets::ClickableLabel*>(U("标签_昵称"));
    ASSERT_NE(label, nullptr);
    ASSERT_NE(box, nullptr);
    ASSERT_NE(nickname, nullptr);
    EXPECT_TRUE(box->isHidden());

    Click(label);
    EXPECT_FALSE(box->isHidden());
    EXPECT_TRUE(label->isHidden());
    box->setText(U("新签名"));
    Click(nickname);
    EXPECT_TRUE(box->isHidden());
    EXPECT_FALSE(label->isHidden());
    EXPECT_EQ(box->text(), U("原来的签名"));
    EXPECT_EQ(label->text(), U("原来的签名"));

    // An edit left unchanged keeps the text; the second end (from focus loss) is harmless.
    Click(label);
    Click(nickname);
    EXPECT_EQ(label->text(), U("原来的签名"));
    EXPECT_TRUE(box->isHidden());
}

TEST(ContactListsTest, MemberMenuOpensOneWindowThatShowsItsGroupsMembers) {
    ViewsRobot views;
    FillSampleStore(views.Robot().Contacts());
    app::MainWindow window(views.Robot(), {});
    window.RefreshContactLists();
    QTreeView* groups = List(window, "群号列表");
    auto* action = window.findChild<QAction*>(U("成员列表"));
    ASSERT_NE(action, nullptr);

    action->trigger();  // no selection: nothing
    EXPECT_EQ(window.Members(), nullptr);

    Select(groups, 0);
    action->trigger();
    QPointer<contacts::MemberListWindow> first = window.Members();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->windowTitle(), U("微信机器人- 成员列表"));
    const std::size_t team = views.Robot().Contacts().FindContactIndex("@@team");
    EXPECT_EQ(first->GroupIndex(), team);

    auto* list = first->findChild<QTreeView*>(U("成员列表框"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(Columns(list), QStringList({U("ID:28"), U("uin:85"), U("昵称:90")}));
    first->resize(300, 250);
    first->show();
    QApplication::processEvents();
    EXPECT_EQ(list->size(), first->contentsRect().size() - QSize(5, 11));

    // Another group's members do not show; this group's do, skipping unfilled slots.
    window.GroupMembersFetched(1);
    EXPECT_EQ(list->model()->rowCount(), 0);
    views.Robot().Contacts().SetGroupMembers(
        team, "3", "77", {{"5", platform::Gbk("阿五"), "@m5"}, {}, {"6", "Six", "@m6"}});
    window.GroupMembersFetched(team);
    ASSERT_EQ(list->model()->rowCount(), 2);
    EXPECT_EQ(list->model()->data(list->model()->index(0, 0)).toString(), "1");
    EXPECT_EQ(list->model()->data(list->model()->index(0, 1)).toString(), "5");
    EXPECT_EQ(list->model()->data(list->model()->index(0, 2)).toString(), U("阿五"));
    EXPECT_EQ(list->model()->data(list->model()->index(1, 0)).toString(), "3");

    // Opening it again replaces the window; closing clears the open flag.
    action->trigger();
    ASSERT_NE(window.Members(), nullptr);
    EXPECT_NE(window.Members(), first);
    ASSERT_FALSE(first.isNull());
    EXPECT_FALSE(first->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    window.Members()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(window.Members(), nullptr);
}

TEST(ContactListsTest, RemarkWindowCommitsOnCloseAndOnlyTheCellChanges) {
    ViewsRobot views;
    FillSampleStore(views.Robot().Contacts());
    app::MainWindow window(views.Robot(), {});
    window.RefreshContactLists();
    QTreeView* friends = List(window, "好友列表框");
    auto* action = window.findChild<QAction*>(U("修改备注"));
    ASSERT_NE(action, nullptr);
    Select(friends, 0);
    action->trigger();
    ASSERT_NE(window.Remark(), nullptr);
    EXPECT_EQ(window.Remark()->windowTitle(), U("修改备注 - 爱丽丝"));
    EXPECT_EQ(window.Remark()->findChild<QLabel*>(U("标签1"))->text(), U("备注："));
    auto* box = window.Remark()->findChild<QLineEdit*>(U("编辑框_备注"));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), U("小爱"));

    box->setText(U("爱丽丝同学"));
    window.Remark()->close();
    // The request (which fails here) runs on a robot thread; the cell follows it.
    EXPECT_TRUE(PumpUntil([&] { return Cell(friends, 0, 5) == platform::Gbk("爱丽丝同学"); }));
    EXPECT_EQ(views.Robot().Contacts().At(1)->RemarkName, platform::Gbk("小爱"));
    window.RefreshContactLists();
    EXPECT_EQ(Cell(friends, 0, 5), platform::Gbk("小爱"));
}

}  // namespace
}  // namespace zelmo::test
