#include "app/ui/LoginWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QPixmap>
#include <utility>

#include "app/ui/WindowPlacement.h"

namespace zelmo::app {

namespace {
constexpr int WINDOW_SIDE = 300;
}  // namespace

LoginWindow::LoginWindow(std::function<bool()> on_close_request, std::function<void()> open_main)
    : m_on_close_request(std::move(on_close_request)),
      m_open_main(std::move(open_main)),
      m_picture(new QLabel(this)),
      m_load_main(new QLabel(this)) {
    m_picture->setObjectName(QString::fromUtf8("图片框"));
    m_picture->setAlignment(Qt::AlignCenter);
    m_load_main->setObjectName(QString::fromUtf8("标签_载入主窗口"));
    m_load_main->hide();
    m_load_main->installEventFilter(this);
    m_picture->installEventFilter(this);
    resize(WINDOW_SIDE, WINDOW_SIDE);
    CenterOnScreen(this);
}

void LoginWindow::SetPictureClickHandler(std::function<void()> on_click) {
    m_on_picture_click = std::move(on_click);
}

void LoginWindow::SetQrImage(std::string_view image) {
    m_qr = QPixmap();
    m_qr.loadFromData(reinterpret_cast<const uchar*>(image.data()),
                      static_cast<uint>(image.size()));
    ShowScaledQr();
}

void LoginWindow::ShowScaledQr() {
    if (m_qr.isNull()) {
        m_picture->clear();
        return;
    }
    // The picture box fills the window, but the code keeps its square shape and crisp
    // modules: a stretched or blurred code does not scan.
    m_picture->setPixmap(
        m_qr.scaled(m_picture->size(), Qt::KeepAspectRatio, Qt::FastTransformation));
}

void LoginWindow::RaiseLoadMainEvent() {
    QCoreApplication::postEvent(m_load_main, new QEvent(QEvent::User));
}

void LoginWindow::CloseQuietly() {
    m_closing_quietly = true;
    close();
    m_closing_quietly = false;
}

void LoginWindow::resizeEvent(QResizeEvent* event) {
    m_picture->setGeometry(contentsRect());
    ShowScaledQr();
    QWidget::resizeEvent(event);
}

void LoginWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    if (!m_closing_quietly && m_on_close_request && !m_on_close_request()) {
        event->ignore();
    }
}

bool LoginWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_load_main && event->type() == QEvent::User) {
        if (m_open_main) {
            m_open_main();
        }
        return true;
    }
    if (watched == m_picture && event->type() == QEvent::MouseButtonRelease && m_on_picture_click) {
        m_on_picture_click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace zelmo::app
