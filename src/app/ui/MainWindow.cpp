#include "app/ui/MainWindow.h"

#include <QCloseEvent>
#include <QLabel>
#include <utility>

#include "app/Version.h"
#include "app/ui/WindowPlacement.h"

namespace zelmo::app {

namespace {
constexpr int WINDOW_WIDTH = 640;
constexpr int WINDOW_HEIGHT = 420;
}  // namespace

MainWindow::MainWindow(std::function<void()> on_close_request)
    : m_on_close_request(std::move(on_close_request)) {
    const QString caption = QString::fromUtf8(VERSION_TEXT) + QString::fromUtf8("  在线");
    setWindowTitle(caption);
    auto* state = new QLabel(caption, this);
    state->setAlignment(Qt::AlignCenter);
    setCentralWidget(state);
    resize(WINDOW_WIDTH, WINDOW_HEIGHT);
    CenterOnScreen(this);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    if (m_on_close_request) {
        m_on_close_request();
    }
}

}  // namespace zelmo::app
