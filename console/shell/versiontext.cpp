#include "console/shell/versiontext.h"

#include <sarnel/version.h>

#include <cstdio>

namespace sarnel {

std::string versiontext(int major, int minor, int revision) {
    char text[48];
    std::snprintf(text, sizeof text, "%d.%02d.%02d", major, minor, revision);
    return text;
}

std::string versiontext() {
    return versiontext(SARNEL_VERSION_MAJOR, SARNEL_VERSION_MINOR, SARNEL_VERSION_PATCH);
}

}  // namespace sarnel
