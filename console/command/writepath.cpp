#include "console/command/writepath.h"

#include "console/base/alert.h"
#include "console/base/timing.h"

namespace sarnel {

std::string txdform(const std::string& text) {
    auto endsWith = [&](const char* tail, std::size_t n) {
        return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
    };
    if (endsWith("\r\n", 2)) return text.substr(0, text.size() - 2) + "[nl]";
    if (endsWith("\r", 1)) return text.substr(0, text.size() - 1) + "[cr]";
    if (endsWith("\n", 1)) return text.substr(0, text.size() - 1) + "[lf]";
    return text;
}

void ComWrite(WriteHost& host, const std::string& text, std::int16_t wait) {
    try {
        processEvents();
        host.setTxd("");
        host.setTxd(txdform(text));
        if (portopen() == 0) {
            host.setRxd("[No port is selected]");
            return;
        }
        SerialControl& rs232 = host.rs232();
        // The control reports a break it has seen as true (-1, or 1 from some hosts); clear it.
        if (rs232.getBreak() != 0) rs232.setBreak(0);
        host.setRxd(" ");
        host.setRxd("");
        host.emptyRxBuffer();
        processEvents();
        rs232.write(text, 0, 100);
    } catch (const ConsoleError& error) {
        reportError("ComWrite error", error, 2, 0);
        host.selectNoPort();
        host.rs232().close();
        portopen() = 0;
        return;
    }
    if (wait > 0) waithundredths(wait);
}

}  // namespace sarnel
