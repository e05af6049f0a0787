// Puts the alert window in charge of every alert of the program (once QApplication exists).
#pragma once

namespace sarnel {

// Installs a QtAlertPresenter that lives until the program ends.
void installQtAlert();

}  // namespace sarnel
