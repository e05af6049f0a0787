// Any script compiles to a well-formed frame or to one of the compiler's messages.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "console/base/tests/alertrecorder.h"
#include "console/base/textroutines.h"
#include "console/command/compiler.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

bool ishex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace sarnel;
    static AlertRecorder* alerts = new AlertRecorder;
    alerts->alerts.clear();

    const std::string input(reinterpret_cast<const char*>(data), size);
    std::string script = input;
    const CompileResult r = compilescript(script);
    if (r.frame.empty()) {
        check(r.error == "No data to compile!" || r.error == "I2C transactions limited to 125 tokens" ||
              r.error.rfind("Unidentified element encountered: \r\n", 0) == 0);
    } else {
        check(r.error.empty());
        check(r.frame.rfind("$0010", 0) == 0 && r.frame.size() >= 10 && r.frame.back() == '\r');
        check(ishex(r.frame[5]) && ishex(r.frame[6]));
        check(hextonum(r.frame.substr(5, 2)) == r.tokenBytes + 1);
        check(r.tokenBytes >= 1 && r.tokenBytes + 1 <= kMaxTokenCount);
    }
    // The normalised script has no LF or "|" left and compiles the same way again.
    check(script.find_first_of("\n|") == std::string::npos);
    std::string again = script;
    check(compilescript(again).frame == r.frame);

    // scriptprocessor reports exactly the failures.
    std::string copy = input;
    const std::string frame = scriptprocessor(copy);
    check(frame == r.frame);
    check(alerts->alerts.size() == (frame.empty() ? 1u : 0u));
    return 0;
}
