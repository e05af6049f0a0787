#include <serial/device.h>

#include "backends.h"

namespace serial {

namespace {

std::unique_ptr<Device> refuse(Failure* why, Code code, const std::string& path) {
    if (why) *why = Failure{code, 0, path, {}, {}, {}};
    return nullptr;
}

}  // namespace

std::unique_ptr<Device> openDevice(const std::string& path, Failure* why) {
    Code pairWhy = Code::notFound;
    if (auto end = openPairEnd(path, &pairWhy)) {
        if (why) *why = Failure{};
        return end;
    }
    if (pairWhy == Code::busy) return refuse(why, Code::busy, path);
    if (isRemoteName(path)) return openRemote(path, why);
    if (path.empty() || path[0] != '/') return refuse(why, Code::notFound, path);
    return openTermios(path, why);
}

std::unique_ptr<Device> openDevice(const PortTarget& target, Failure* why) {
    if (target.kind == PortTarget::Kind::none) {
        refuse(why, Code::notFound, target.path);
        if (why) why->ownName = target.ownName;
        return nullptr;
    }
    if (target.kind == PortTarget::Kind::remote) return openRemote(target.path, why);
    return openDevice(target.path, why);
}

}  // namespace serial
