// Opening the firmware bootloader window from the main window ("Update").
#pragma once

#include <string>

#include "console/base/consolestate.h"

class QWidget;

namespace sarnel {

// Shows the bootloader window QuorBLCForm and returns only after the user has closed it,
// processing window events meanwhile (the main window stays responsive).
//
// state: the console's state, whose scan buffer the window's port scan shares. hexFolder: the
// folder the HEX file dialog opens in; on return it holds the folder of the last file chosen in
// the window (unchanged when none was chosen), which the caller stores back in its settings.
// scanSettings: the serial settings of the window's port scan ("115200,n,8,1"). versionText:
// shown in the caption after a space. mainWindow (may be null): the window belongs to it and
// stays above it while open, is placed at its left and top edges, and takes the console's
// dialogs over while it is open.
//
// When the bootloader window is already visible it returns at once and leaves hexFolder alone.
void showbootloader(ConsoleState& state, std::string& hexFolder, const std::string& scanSettings,
                    const std::string& versionText, QWidget* mainWindow = nullptr);

}  // namespace sarnel
