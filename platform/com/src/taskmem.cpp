#include <com/taskmem.h>

#include <cstdlib>

namespace com {

void* taskMemAlloc(std::size_t size) {
    return std::malloc(size == 0 ? 1 : size);
}

void taskMemFree(void* block) {
    std::free(block);
}

}  // namespace com
