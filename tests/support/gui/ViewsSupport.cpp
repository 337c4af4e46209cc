#include "support/gui/ViewsSupport.h"

#include <unistd.h>

#include <QHeaderView>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "platform/Files.h"
#include "platform/GbkLiteral.h"

namespace zelmo::test {

ViewsRobot::ViewsRobot() {
    std::string profile = m_dir.Path();
    profile.append("/service.ini");
    platform::WriteFileAtomic(profile, "[service]\nconnect_to=127.0.0.1:1\n");
    app::RunOptions options;
    options.data_root = std::filesystem::path(m_dir.Path()) / "data";
    options.service_file = profile;
    options.auto_answer = app::AutoAnswer::Yes;
    m_robot = std::make_unique<app::Robot>(std::move(options), m_clock, m_screen);
}

void FillSampleStore(contacts::ContactStore& store) {
    contacts::ContactRecord alice = Contact("@alice", "爱丽丝", "女");
    alice.Alias = "alice_w";
    alice.RemarkName = platform::Gbk("小爱");
    alice.Province = platform::Gbk("广东");
    alice.City = platform::Gbk("深圳");
    alice.Uin = "11";
    store.AppendIfNew(alice);
    contacts::ContactRecord team = Contact("@@team", "团队", "微群");
    team.MemberCount = "3";
    team.OwnerUin = "77";
    store.AppendIfNew(team);
    store.AppendIfNew(Contact("@odd", "怪人", "3"));
    contacts::ContactRecord news = Contact("@news", "新闻", "公众号");
    news.Alias = "daily";
    store.AppendIfNew(news);
    store.AppendIfNew(Contact("@bob", "Bob", "男"));
}

QStringList Columns(QTreeView* list) {
    QStringList columns;
    for (int i = 0; i < list->model()->columnCount(); ++i) {
        columns << list->model()->headerData(i, Qt::Horizontal).toString() + ":" +
                       QString::number(list->header()->sectionSize(i));
    }
    return columns;
}

namespace {
void SendMouse(QWidget* widget, QEvent::Type type, QPoint pos, Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(pos), widget->mapToGlobal(QPointF(pos)), Qt::LeftButton,
                      buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}
}  // namespace

void Click(QWidget* widget, QPoint pos) {
    SendMouse(widget, QEvent::MouseButtonPress, pos, Qt::LeftButton);
    SendMouse(widget, QEvent::MouseButtonRelease, pos, Qt::NoButton);
}

void DoubleClick(QWidget* widget, QPoint pos) {
    Click(widget, pos);
    SendMouse(widget, QEvent::MouseButtonDblClick, pos, Qt::LeftButton);
    SendMouse(widget, QEvent::MouseButtonRelease, pos, Qt::NoButton);
}

QPoint RowPoint(QAbstractItemView* list, int row) {
    return list->visualRect(list->model()->index(row, 0)).center();
}

}  // namespace zelmo::test
