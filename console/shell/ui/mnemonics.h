// The main window's buttons get Alt+letter mnemonics. Only the marker is added: each caption
// reads as before, and the letters are unique among the window's buttons.
#pragma once

namespace sarnel {

class MainWindow;

void addmnemonics(MainWindow& window);

}  // namespace sarnel
