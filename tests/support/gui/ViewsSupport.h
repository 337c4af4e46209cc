#pragma once

#include <QApplication>
#include <QEventLoop>
#include <QMouseEvent>
#include <QTimer>
#include <QTreeView>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "app/Robot.h"
#include "contacts/ContactStore.h"
#include "support/FakeClock.h"
#include "support/StubScreen.h"
#include "support/TestSupport.h"
#include "support/gui/QtPump.h"

namespace zelmo::test {

// A robot for window tests with a recording screen. Its service profile sends every
// connection to a closed local port, so a request a window starts fails at once instead
// of reaching out.
class ViewsRobot {
public:
    ViewsRobot();
    app::Robot& Robot() { return *m_robot; }
    StubScreen& Screen() { return m_screen; }
    FakeClock& Clock() { return m_clock; }
    const std::string& Dir() const { return m_dir.Path(); }

private:
    TempDir m_dir;
    StubScreen m_screen;
    FakeClock m_clock;
    std::unique_ptr<app::Robot> m_robot;
};

// Fills a store with two friends, a group, a public account and a contact of an unknown kind.
void FillSampleStore(contacts::ContactStore& store);

// Titles and widths of a view's columns, as "title:width".
QStringList Columns(QTreeView* list);

// A left-button click (press and release) at a point of a widget.
void Click(QWidget* widget, QPoint pos = {2, 2});
// A left-button double click at a point of a widget, as a mouse delivers it.
void DoubleClick(QWidget* widget, QPoint pos);
// The middle of a row of a list, in viewport coordinates.
QPoint RowPoint(QAbstractItemView* list, int row);

}  // namespace zelmo::test
