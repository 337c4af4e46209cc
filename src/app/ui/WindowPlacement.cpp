#include "app/ui/WindowPlacement.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QMargins>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <QWidget>
#include <algorithm>

namespace zelmo::app {

namespace {

// A move or resize by hand comes as a burst of events: the place is kept once it ends.
constexpr int SAVE_AFTER_MS = 500;
// Bounds a stored number must keep to; anything else in the file is ignored.
constexpr int MAX_COORDINATE = 100000;

QRect AreaAround(QPoint point, const QWidget* window) {
    const QScreen* screen = QGuiApplication::screenAt(point);
    if (screen == nullptr && window != nullptr) {
        screen = window->screen();
    }
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    return screen != nullptr ? screen->availableGeometry() : QRect();
}

QMargins MarginsOf(const QWidget* widget) {
    const QRect frame = widget->frameGeometry();
    const QRect client = widget->geometry();
    return QMargins(client.left() - frame.left(), client.top() - frame.top(),
                    frame.right() - client.right(), frame.bottom() - client.bottom());
}

// A window that exists but has not been framed by the window manager yet (it is about to
// be shown for the first time): its position is that of its client area, not its frame.
bool FramePending(const QWidget* window) {
    return window->testAttribute(Qt::WA_WState_Created) && MarginsOf(window).isNull();
}

// The frame's width around the client area. Before a window was first shown its frame is
// not known yet: the owner's is the best guess, as the window manager draws both.
QMargins FrameMargins(const QWidget* window) {
    QMargins margins = MarginsOf(window);
    const QWidget* owner =
        window->parentWidget() != nullptr ? window->parentWidget()->window() : nullptr;
    if (margins.isNull() && owner != nullptr && owner->isVisible()) {
        margins = MarginsOf(owner);
    }
    return margins;
}

QPoint PendingOffset(const QWidget* window, const QMargins& margins) {
    return FramePending(window) ? QPoint(margins.left(), margins.top()) : QPoint();
}

// Gives the window the frame `wanted`, cut to `area` as far as its minimum size allows
// and then moved fully inside (its top-left corner inside when it is still too large).
void PlaceFrame(QWidget* window, QRect wanted, QRect area) {
    if (area.isEmpty()) {
        return;
    }
    const QMargins margins = FrameMargins(window);
    const QRect fitted = FitInto(wanted, area);
    if (!window->isMaximized() && !window->isFullScreen()) {
        window->resize(fitted.size().shrunkBy(margins));
    }
    const QSize frame_size = window->size().grownBy(margins);
    MoveFrameTo(window, FitInto(QRect(fitted.topLeft(), frame_size), area).topLeft());
}

QRect CurrentFrame(const QWidget* window) {
    const QMargins margins = FrameMargins(window);
    return QRect(window->frameGeometry().topLeft() - PendingOffset(window, margins),
                 window->size().grownBy(margins));
}

void KeepOnScreen(QWidget* window) {
    // A maximised window is the window manager's to place.
    if (window->isMaximized() || window->isFullScreen()) {
        return;
    }
    const QRect frame = CurrentFrame(window);
    const QRect area = AreaAround(frame.center(), window);
    if (!area.contains(frame)) {
        PlaceFrame(window, frame, area);
    }
}

void CentreOverOwner(QWidget* window) {
    const QWidget* owner =
        window->parentWidget() != nullptr ? window->parentWidget()->window() : nullptr;
    const bool over_owner = owner != nullptr && owner->isVisible() && !owner->isMinimized();
    const QRect owner_frame = over_owner ? owner->frameGeometry() : QRect();
    const QRect area =
        AreaAround(over_owner ? owner_frame.center() : window->geometry().center(), owner);
    PlaceFrame(window, CentredOver(CurrentFrame(window).size(), owner_frame, area), area);
}

// Places its window when it shows and, given a store, keeps the window's place there.
class Placement : public QObject {
public:
    Placement(QWidget* window, WindowPlaces* places, QString key)
        : QObject(window), m_window(window), m_places(places), m_key(std::move(key)) {
        window->installEventFilter(this);
        if (m_places == nullptr) {
            return;
        }
        m_save_timer.setSingleShot(true);
        m_save_timer.setInterval(SAVE_AFTER_MS);
        connect(&m_save_timer, &QTimer::timeout, this, [this] { Save(); });
        // The last place is kept before the windows are torn down; later events are those
        // of the teardown.
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] {
            Save();
            m_places = nullptr;
        });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != m_window) {
            return QObject::eventFilter(watched, event);
        }
        switch (event->type()) {
            case QEvent::Show:
                // The show event comes before the window is mapped: it opens at its place.
                if (!m_shown && !m_window->testAttribute(Qt::WA_Moved)) {
                    CentreOverOwner(m_window);
                }
                m_shown = true;
                KeepOnScreen(m_window);
                break;
            case QEvent::Hide:
                if (m_places != nullptr && m_shown) {
                    Save();
                }
                break;
            case QEvent::Move:
            case QEvent::Resize:
            case QEvent::WindowStateChange:
                if (m_places != nullptr && m_shown && m_window->isVisible()) {
                    m_save_timer.start();
                }
                break;
            default:
                break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void Save() {
        m_save_timer.stop();
        if (m_places == nullptr || !m_shown) {
            return;
        }
        const bool maximised = m_window->isMaximized() || m_window->isFullScreen();
        m_places->Save(m_key,
                       {maximised ? m_window->normalGeometry() : m_window->geometry(), maximised});
    }

    QWidget* m_window;
    WindowPlaces* m_places;
    QString m_key;
    bool m_shown = false;
    QTimer m_save_timer;
};

}  // namespace

void CenterOnScreen(QWidget* window) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (window == nullptr || screen == nullptr) {
        return;
    }
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

QRect FitInto(QRect frame, QRect area) {
    if (area.isEmpty()) {
        return frame;
    }
    frame.setWidth(std::min(frame.width(), area.width()));
    frame.setHeight(std::min(frame.height(), area.height()));
    frame.moveLeft(std::clamp(frame.left(), area.left(), area.right() + 1 - frame.width()));
    frame.moveTop(std::clamp(frame.top(), area.top(), area.bottom() + 1 - frame.height()));
    return frame;
}

QRect CentredOver(QSize size, QRect owner, QRect area) {
    QRect frame(QPoint(0, 0), size);
    frame.moveCenter(owner.isEmpty() ? area.center() : owner.center());
    return FitInto(frame, area);
}

void MoveFrameTo(QWidget* window, QPoint frame_top_left) {
    window->move(frame_top_left + PendingOffset(window, FrameMargins(window)));
}

void OpenOverOwner(QWidget* window) {
    new Placement(window, nullptr, QString());
}

WindowPlaces::WindowPlaces(const QString& file) {
    if (!file.isEmpty()) {
        m_settings = std::make_unique<QSettings>(file, QSettings::IniFormat);
    }
}

WindowPlaces::~WindowPlaces() = default;

std::optional<WindowPlace> WindowPlaces::Load(const QString& key) const {
    if (!m_settings) {
        return std::nullopt;
    }
    int numbers[4] = {};
    const char* names[4] = {"x", "y", "width", "height"};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        numbers[i] = m_settings->value(key + "/" + names[i]).toString().toInt(&ok);
        if (!ok || numbers[i] < -MAX_COORDINATE || numbers[i] > MAX_COORDINATE) {
            return std::nullopt;
        }
    }
    if (numbers[2] <= 0 || numbers[3] <= 0) {
        return std::nullopt;
    }
    return WindowPlace{QRect(numbers[0], numbers[1], numbers[2], numbers[3]),
                       m_settings->value(key + "/maximized").toString() == "true"};
}

void WindowPlaces::Save(const QString& key, const WindowPlace& place) {
    if (!m_settings || place.geometry.isEmpty()) {
        return;
    }
    m_settings->setValue(key + "/x", place.geometry.x());
    m_settings->setValue(key + "/y", place.geometry.y());
    m_settings->setValue(key + "/width", place.geometry.width());
    m_settings->setValue(key + "/height", place.geometry.height());
    m_settings->setValue(key + "/maximized", place.maximised ? "true" : "false");
    m_settings->sync();
}

void RememberPlace(QWidget* window, WindowPlaces& places, const QString& key) {
    if (const std::optional<WindowPlace> place = places.Load(key)) {
        window->setGeometry(place->geometry);
        KeepOnScreen(window);
        if (place->maximised) {
            window->setWindowState(window->windowState() | Qt::WindowMaximized);
        }
    }
    new Placement(window, &places, key);
}

}  // namespace zelmo::app
