#include "app/ui/StatusPopup.h"

#include <QCoreApplication>
#include <QLabel>
#include <QVBoxLayout>

#include "app/StatusLine.h"
#include "app/ui/Fades.h"
#include "app/ui/WindowPlacement.h"
#include "widgets/QtText.h"

namespace zelmo::app {

namespace {
constexpr int POPUP_WIDTH = 260;
constexpr int POPUP_HEIGHT = 56;
constexpr const char* LABEL_NAME = "读取信息";
}  // namespace

StatusPopup::~StatusPopup() {
    delete m_window;
}

void StatusPopup::Create(bool fade_in) {
    auto* window = new QWidget(nullptr, Qt::Dialog | Qt::FramelessWindowHint);
    window->setFixedSize(POPUP_WIDTH, POPUP_HEIGHT);
    auto* layout = new QVBoxLayout(window);
    auto* label = new QLabel(window);
    label->setObjectName(QString::fromUtf8(LABEL_NAME));
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
    // A popup that fades in starts invisible; otherwise it is an ordinary opaque window.
    window->setWindowOpacity(fade_in ? 0.0 : 1.0);
    CenterOnScreen(window);
    m_window = window;
}

void StatusPopup::ShowStatus(std::string_view text, bool fade_in) {
    const bool was_open = m_open && m_window != nullptr;
    m_open = true;
    if (!was_open) {
        Create(fade_in);
    }
    m_window->show();
    m_window->raise();
    auto* label = m_window->findChild<QLabel*>(QString::fromUtf8(LABEL_NAME));
    label->setText(widgets::ToQString(StatusLine(text)));
    if (fade_in && !was_open) {
        FadeIn(m_window);
    }
    QCoreApplication::processEvents();
}

void StatusPopup::FadeOut() {
    if (m_window != nullptr) {
        app::FadeOut(m_window);
    }
}

void StatusPopup::Close() {
    if (!m_open) {
        return;
    }
    delete m_window;
    m_open = false;
}

}  // namespace zelmo::app
