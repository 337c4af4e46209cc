#include "widgets/ClickableLabel.h"

#include <QMouseEvent>

namespace zelmo::widgets {

ClickableLabel::ClickableLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setCursor(Qt::PointingHandCursor);
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && isEnabled() && rect().contains(event->pos())) {
        emit clicked();
    }
    QLabel::mouseReleaseEvent(event);
}

}  // namespace zelmo::widgets
