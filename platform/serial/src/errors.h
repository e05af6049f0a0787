// The one place where system errors become the layer's codes.
#pragma once

#include <serial/device.h>

#include <string>

namespace serial {

// The code for an errno value.
Code codeForErrno(int error);
// The failure of opening `path` that errno `error` describes (with the device's group when the
// error is a refused permission).
Failure systemFailure(int error, const std::string& path);

}  // namespace serial
