#include "console/base/ui/dialogowner.h"

namespace sarnel {

namespace {
QWidget* current = nullptr;
}  // namespace

QWidget* dialogowner() {
    return current;
}

DialogOwner::DialogOwner(QWidget* owner) : previous_(current) {
    current = owner;
}

DialogOwner::~DialogOwner() {
    current = previous_;
}

}  // namespace sarnel
