// Per-thread error information: what a failing call leaves for its caller to read, as the
// component's operations do (description, source ProgID, failing interface).
#pragma once

#include <com/base.h>

#include <optional>
#include <string>

namespace com {

struct ErrorInfo {
    std::u16string description;
    std::u16string source;
    IID iid;
};

// Replaces the calling thread's error information.
void setErrorInfo(ErrorInfo info);
// Forgets the calling thread's error information.
void clearErrorInfo();
// Takes the calling thread's error information: it is cleared, as a second read finds none.
std::optional<ErrorInfo> getErrorInfo();

}  // namespace com
