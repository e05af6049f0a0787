#include "console/base/ui/qtpump.h"

#include <com/apartment.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

namespace sarnel {

QtPump::QtPump() {
    enteredApartment_ = com::succeeded(com::initializeApartment());
    const int wake = com::apartmentWakeDescriptor();
    // A notifier needs the application's event loop; without one the pump waits on the
    // apartment alone, as the apartment pump does.
    if (wake >= 0 && QCoreApplication::instance()) {
        notifier_ = std::make_unique<QSocketNotifier>(wake, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [] { com::serveApartment(); });
    }
    setPump(this);
}

QtPump::~QtPump() {
    if (&pump() == this) setPump(nullptr);
    notifier_.reset();
    if (enteredApartment_) com::uninitializeApartment();
}

void QtPump::processEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    // The notifier runs on the next pass of the loop; calls already waiting run now, so that a
    // wait of zero length still lets the serial control's events in.
    com::serveApartment();
}

void QtPump::waitUntil(std::chrono::steady_clock::time_point deadline) {
    using namespace std::chrono;
    if (!notifier_) {
        if (com::waitApartment(deadline)) com::serveApartment();
        return;
    }
    const auto left = ceil<milliseconds>(deadline - steady_clock::now());
    if (left.count() <= 0) {
        processEvents();
        return;
    }
    // A precise single-shot timer bounds the blocking wait: WaitForMoreEvents sleeps in the
    // system until a window event, a component call (through the notifier) or the timer.
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [] {});
    timer.start(static_cast<int>(left.count() > 1000000 ? 1000000 : left.count()));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

}  // namespace sarnel
