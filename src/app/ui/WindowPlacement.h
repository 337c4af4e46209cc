#pragma once

#include <QRect>
#include <QString>
#include <memory>
#include <optional>

class QSettings;
class QWidget;

namespace zelmo::app {

// Moves a top-level window to the middle of its screen's available area.
void CenterOnScreen(QWidget* window);

// The frame moved, and cut where it is larger, so that it lies inside `area`. Callers whose
// window cannot shrink that far keep its top-left corner (the caption) inside instead.
QRect FitInto(QRect frame, QRect area);

// Where a frame of `size` opens: centred over `owner` (over `area` when `owner` is empty),
// then fitted into `area`.
QRect CentredOver(QSize size, QRect owner, QRect area);

// Moves the window so that its frame's top-left corner is at `frame_top_left`, also while
// it is about to be shown for the first time and has no frame yet.
void MoveFrameTo(QWidget* window, QPoint frame_top_left);

// From now on the window opens centred over its owner window (or its screen, while the
// owner is not shown) the first time it shows, unless it was placed before, and fully
// on the screen every time it shows.
void OpenOverOwner(QWidget* window);

// A window's remembered normal geometry (without frame) and whether it was maximised.
struct WindowPlace {
    QRect geometry;
    bool maximised = false;
};

// Sizes and places of windows kept between runs, in a small INI file of the program's own
// (ASCII numbers, one section per window). An empty file name keeps nothing. UI thread.
class WindowPlaces {
public:
    explicit WindowPlaces(const QString& file);
    ~WindowPlaces();
    WindowPlaces(const WindowPlaces&) = delete;
    WindowPlaces& operator=(const WindowPlaces&) = delete;

    // Nothing when none was kept or the file holds no sensible one.
    std::optional<WindowPlace> Load(const QString& key) const;
    // Written to the file at once.
    void Save(const QString& key, const WindowPlace& place);

private:
    std::unique_ptr<QSettings> m_settings;
};

// The window takes its remembered size and place now (fitted to today's screen), or else
// opens as OpenOverOwner says; its place is kept whenever it is hidden, closed, moved or
// resized, and when the program ends. `places` must outlive the window.
void RememberPlace(QWidget* window, WindowPlaces& places, const QString& key);

}  // namespace zelmo::app
