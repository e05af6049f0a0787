#include "console/responses/receivepath.h"

namespace sarnel {

void caprxbuffer(std::string& buffer, std::size_t cap) {
    if (buffer.size() <= cap) return;
    const std::size_t start = buffer.rfind('!');
    if (start == std::string::npos) {
        buffer.clear();
        return;
    }
    buffer.erase(0, start);
    if (buffer.size() > cap) buffer.clear();
}

}  // namespace sarnel
