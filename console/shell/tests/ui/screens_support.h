// The windows on screens of given sizes: a QApplication on the offscreen platform with a
// screen layout of the test's choosing (and a scale factor), and the checks of what a user
// with such a screen can reach.
#pragma once

#include <QRect>
#include <QWidget>
#include <string>
#include <vector>

class QApplication;

namespace sarnel::testing {

// The one QApplication of the test program, on offscreen screens with these geometries (in
// device pixels, side by side) and QT_SCALE_FACTOR `scale`. Call it before any other Qt use.
QApplication& screensApplication(const std::vector<QRect>& screens, double scale = 1.0);

// Puts the top-level `window` on the screen whose logical geometry contains `point` before
// it is shown.
void placeOn(QWidget* window, QPoint point);

// What a user cannot reach in `window`: a line for each visible control that lies (partly)
// outside the window's scroll area viewport, after that area was scrolled to it. Empty when
// every control can be reached.
std::vector<std::string> unreachable(QWidget* window);

// True when the window's scroll area shows a scroll bar.
bool scrolls(QWidget* window);

}  // namespace sarnel::testing
