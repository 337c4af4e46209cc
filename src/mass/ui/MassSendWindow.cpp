#include "mass/ui/MassSendWindow.h"

#include <QCloseEvent>
#include <QHBoxLayout>

#include "contacts/ui/MassCandidateList.h"

namespace zelmo::mass {

MassSendWindow::MassSendWindow(app::Robot& robot, QWidget* owner)
    : QWidget(owner, Qt::Window),
      m_robot(robot),
      m_candidates(new contacts::MassCandidateList(robot, this)) {
    setWindowTitle(QString::fromUtf8("批量发送信息"));
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_candidates, 1);
}

void MassSendWindow::AppendLog(std::string_view) {}
void MassSendWindow::SetRunning(bool) {}
void MassSendWindow::ShowSettings() {}
void MassSendWindow::FillCandidates() {
    m_candidates->FillMassCandidates();
}

void MassSendWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
}

}  // namespace zelmo::mass
