#pragma once

#include <QLabel>

namespace zelmo::widgets {

// A label that acts as a button: clicked() on a left-button release over an enabled label.
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickableLabel(const QString& text = {}, QWidget* parent = nullptr);

signals:
    void clicked();  // NOLINT(readability-identifier-naming): named as QPushButton::clicked

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace zelmo::widgets
