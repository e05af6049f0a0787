// Fixed-size windows on screens of every size. A window keeps the size it is designed at, but
// not more than the free area of its screen (less the window manager's frame) can show: its
// controls sit in a scroll area, which scrolls only where the screen is smaller than the
// design.
#pragma once

#include <QSize>

class QScrollArea;
class QWidget;

namespace sarnel {

// A frameless scroll area that fills `window` (given a layout without margins) and shows
// `content`. Scroll bars appear only when the window is smaller than the content's minimum.
QScrollArea* makeScrollArea(QWidget* window, QWidget* content);

// The size `window` takes for a design size of `design`: the design size bounded by its
// screen's free area, less the frame around the window.
QSize fittedsize(const QWidget* window, QSize design);

// Moves `window` so that its frame lies in its screen's free area, as far as it fits.
void keeponscreen(QWidget* window);

}  // namespace sarnel
