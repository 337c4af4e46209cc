#pragma once

#include <QWidget>

namespace zelmo::app {
class Robot;
}

namespace zelmo::messages {

// The knowledge-base editor ("设置 - 词库编辑器"). Created hidden at start-up; closing
// hides it. UI thread.
class KnowledgeBaseEditor : public QWidget {
    Q_OBJECT
public:
    KnowledgeBaseEditor(app::Robot& robot, QWidget* owner);

    // Shows the knowledge base's current rows.
    void ShowRows();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    app::Robot& m_robot;
};

}  // namespace zelmo::messages
