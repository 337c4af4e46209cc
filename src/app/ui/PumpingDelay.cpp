#include "app/ui/PumpingDelay.h"

#include <QEventLoop>
#include <QTimer>

namespace zelmo::app {

void PumpingDelay(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace zelmo::app
