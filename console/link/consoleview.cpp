#include "console/link/consoleview.h"

#include "console/base/alert.h"

namespace sarnel {

void ConsoleView::reportDeniedPorts(const std::vector<DeniedPort>& denied) {
    std::string message = deniedmessage(denied);
    ShowAlert("Serial port access", message, 0, 1, 0);
}

}  // namespace sarnel
