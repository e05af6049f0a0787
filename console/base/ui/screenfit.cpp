#include "console/base/ui/screenfit.h"

#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QScrollArea>
#include <QWidget>

namespace sarnel {

namespace {

// The room the window manager's frame takes around the window. Before the window is shown,
// and on X11 right after it (the window manager frames it a little later), the frame is not
// known yet: then the room of a usual title bar and border is kept free.
QMargins framemargins(const QWidget* window) {
    const QRect frame = window->frameGeometry();
    const QRect inner = window->geometry();
    const QMargins known(inner.left() - frame.left(), inner.top() - frame.top(),
                         frame.right() - inner.right(), frame.bottom() - inner.bottom());
    const bool shown = window->testAttribute(Qt::WA_WState_Created) && window->isVisible();
    if (!known.isNull() || (shown && QGuiApplication::platformName() != QLatin1String("xcb"))) return known;
    const int title = window->fontMetrics().height() * 2;
    return {4, title, 4, 4};
}

QRect freearea(const QWidget* window) {
    const QScreen* screen = window->screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

}  // namespace

QScrollArea* makeScrollArea(QWidget* window, QWidget* content) {
    auto* area = new QScrollArea(window);
    area->setObjectName("scrollarea");
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setWidget(content);
    if (QLayout* layout = window->layout()) layout->addWidget(area);
    return area;
}

QSize fittedsize(const QWidget* window, QSize design) {
    const QRect free = freearea(window);
    if (!free.isValid()) return design;
    const QMargins frame = framemargins(window);
    const QSize room(free.width() - frame.left() - frame.right(),
                     free.height() - frame.top() - frame.bottom());
    return design.boundedTo(room).expandedTo(QSize(1, 1));
}

void keeponscreen(QWidget* window) {
    const QRect free = freearea(window);
    if (!free.isValid()) return;
    const QMargins frame = framemargins(window);
    const QSize outer = window->size().grownBy(frame);
    QPoint at = window->pos();  // the frame's top left
    at.setX(std::max(free.left(), std::min(at.x(), free.right() + 1 - outer.width())));
    at.setY(std::max(free.top(), std::min(at.y(), free.bottom() + 1 - outer.height())));
    if (at != window->pos()) window->move(at);
}

}  // namespace sarnel
