// The console's version as the windows show it.
#pragma once

#include <string>

namespace sarnel {

// Major, ".", minor as two digits, ".", revision as two digits: 2.1.9 gives "2.01.09".
std::string versiontext();
// The same for any version numbers.
std::string versiontext(int major, int minor, int revision);

}  // namespace sarnel
