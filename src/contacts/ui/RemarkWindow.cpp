#include "contacts/ui/RemarkWindow.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <utility>

#include "widgets/QtText.h"

namespace zelmo::contacts {

namespace {
constexpr int START_WIDTH = 280;
}  // namespace

RemarkWindow::RemarkWindow(Target target, Commit commit, QWidget* owner)
    : QWidget(owner, Qt::Window),
      m_target(std::move(target)),
      m_commit(std::move(commit)),
      m_remark(new QLineEdit(this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromUtf8("修改备注 - ") + widgets::ToQString(m_target.nickname));
    auto* label = new QLabel(QString::fromUtf8("备注："), this);
    label->setObjectName(QString::fromUtf8("标签1"));
    m_remark->setObjectName(QString::fromUtf8("编辑框_备注"));
    m_remark->setText(widgets::ToQString(m_target.remark));
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_remark, 1);
    resize(START_WIDTH, sizeHint().height());
}

void RemarkWindow::closeEvent(QCloseEvent* event) {
    // The close always goes ahead; the commit runs once even if a close comes twice.
    if (m_commit) {
        Commit commit = std::move(m_commit);
        m_commit = nullptr;
        commit(m_target, widgets::ToGbk(m_remark->text()));
    }
    event->accept();
}

}  // namespace zelmo::contacts
