#pragma once

#include <QMainWindow>
#include <functional>

namespace zelmo::app {

// The main window; for now it shows the connection state in its caption.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // on_close_request runs when the user closes the window.
    explicit MainWindow(std::function<void()> on_close_request);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::function<void()> m_on_close_request;
};

}  // namespace zelmo::app
