#include "ViewsSupport.h"

#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "app/GbkLiteral.h"
#include "platform/Files.h"

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

contacts::ContactRecord Contact(std::string_view user_name, std::string_view nickname_utf8,
                                std::string_view kind_utf8) {
    return contacts::ContactRecord{std::string("0"), app::Gbk(kind_utf8), app::Gbk(nickname_utf8),
                                   std::string(user_name)};
}

CurrentDir::CurrentDir(const std::string& path)
    : m_previous(std::filesystem::current_path().string()) {
    std::filesystem::current_path(path);
}

CurrentDir::~CurrentDir() {
    if (::chdir(m_previous.c_str()) != 0) {
        std::abort();
    }
}

std::int64_t LocalUnixMs(int year, int month, int day, int hour, int minute, int second) {
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    parts.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&parts)) * 1000;
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
