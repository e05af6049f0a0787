#include <com/errorinfo.h>

namespace com {

namespace {
thread_local std::optional<ErrorInfo> current;
}

void setErrorInfo(ErrorInfo info) {
    current = std::move(info);
}

void clearErrorInfo() {
    current.reset();
}

std::optional<ErrorInfo> getErrorInfo() {
    std::optional<ErrorInfo> taken = std::move(current);
    current.reset();
    return taken;
}

}  // namespace com
