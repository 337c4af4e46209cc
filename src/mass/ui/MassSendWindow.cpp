#include "mass/ui/MassSendWindow.h"

#include <QCloseEvent>

namespace zelmo::mass {

MassSendWindow::MassSendWindow(app::Robot& robot, QWidget* owner)
    : QWidget(owner, Qt::Window), m_robot(robot) {
    setWindowTitle(QString::fromUtf8("批量发送信息"));
}

void MassSendWindow::AppendLog(std::string_view) {}
void MassSendWindow::SetRunning(bool) {}
void MassSendWindow::ShowSettings() {}
void MassSendWindow::FillCandidates() {}

void MassSendWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
}

}  // namespace zelmo::mass
