#include "messages/ui/KnowledgeBaseEditor.h"

#include <QCloseEvent>

namespace zelmo::messages {

KnowledgeBaseEditor::KnowledgeBaseEditor(app::Robot& robot, QWidget* owner)
    : QWidget(owner, Qt::Window), m_robot(robot) {
    setWindowTitle(QString::fromUtf8("设置 - 词库编辑器"));
}

void KnowledgeBaseEditor::ShowRows() {}

void KnowledgeBaseEditor::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
}

}  // namespace zelmo::messages
