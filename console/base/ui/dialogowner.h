// Which window the console's dialogs (alerts and the open-file dialog) belong to. A window
// opened over the main window (the bootloader window) takes them over while it is open, so
// that a dialog comes up over the window that asked for it and, when it closes, hands the
// focus back to that window instead of raising the main window over it.
#pragma once

class QWidget;

namespace sarnel {

// The window that owns dialogs now; nullptr when none has taken them over.
QWidget* dialogowner();

// Makes `owner` the dialogs' window while it lives; the previous one comes back after.
class DialogOwner {
public:
    explicit DialogOwner(QWidget* owner);
    ~DialogOwner();
    DialogOwner(const DialogOwner&) = delete;
    DialogOwner& operator=(const DialogOwner&) = delete;

private:
    QWidget* previous_;
};

}  // namespace sarnel
