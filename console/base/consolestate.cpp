#include "console/base/consolestate.h"

namespace sarnel {

std::int16_t& portopen() {
    static std::int16_t flag = 0;
    return flag;
}

}  // namespace sarnel
