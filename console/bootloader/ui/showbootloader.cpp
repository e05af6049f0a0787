#include "console/bootloader/ui/showbootloader.h"

#include <QWidget>
#include <chrono>

#include "console/base/pump.h"
#include "console/base/rs232.h"
#include "console/base/timing.h"
#include "console/base/ui/dialogowner.h"
#include "console/bootloader/ui/quorblcform.h"

namespace sarnel {

namespace {
boot::QuorBLCForm* current = nullptr;

SerialFactory& factory() {
    static SerialFactory f;
    return f;
}

std::unique_ptr<SerialControl> makeControl() {
    return factory() ? factory()() : createRs232();
}
}  // namespace

void boot::setBootSerialFactory(SerialFactory f) {
    factory() = std::move(f);
}

boot::QuorBLCForm* boot::shownBootloader() {
    return current;
}

void showbootloader(ConsoleState& state, std::string& hexFolder, const std::string& scanSettings,
                    const std::string& versionText, QWidget* mainWindow) {
    if (current && current->isVisible()) return;
    waithundredths(10);
    boot::hexfolder() = hexFolder;
    boot::scansettings() = scanSettings;
    {
        // A window of its own that belongs to the main window: window managers keep it above
        // the main window while it is open, and its dialogs belong to it.
        boot::QuorBLCForm form(
            state, versionText, makeControl(), [] { return makeControl(); }, mainWindow);
        const DialogOwner dialogs(&form);
        form.placeAt(mainWindow ? mainWindow->frameGeometry().topLeft() : form.pos());
        form.show();
        form.raise();
        form.activateWindow();
        current = &form;
        form.portscanx();
        // Only this loop returns to the caller: the window's own handlers (a run included)
        // run nested inside it, so the form is never destroyed under a running handler.
        while (form.isVisible()) {
            processEvents();
            if (!form.isVisible()) break;
            pump().waitUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(250));
        }
        form.hide();
        current = nullptr;
    }
    hexFolder = boot::hexfolder();
}

}  // namespace sarnel
