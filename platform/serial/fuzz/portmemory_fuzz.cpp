// The per-user file of port names: any text is read without harm, and a file it accepts is
// written back so that it reads the same.
#include <serial/portmemory.h>

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    serial::PortMemory m = serial::PortMemory::parse(text, "ports");
    if (m.damaged()) return 0;
    m.assign({"04d8", "000a", "00", "FUZZ"});
    m.setLast({{}, "/dev/ttyS0"});
    const serial::PortMemory again = serial::PortMemory::parse(m.text(), "ports");
    if (again.damaged() || again.text() != m.text()) std::abort();
    for (int com = serial::PortMemory::kFirstNumber; com < serial::PortMemory::kFirstNumber + 4; ++com) {
        const serial::UsbIdentity* a = m.identity(com);
        const serial::UsbIdentity* b = again.identity(com);
        if ((a == nullptr) != (b == nullptr) || (a && !(*a == *b))) std::abort();
        // A remote port's number, given in the file or to an address alone, survives too.
        const std::string* ra = m.remote(com);
        const std::string* rb = again.remote(com);
        if ((ra == nullptr) != (rb == nullptr) || (ra && *ra != *rb)) std::abort();
    }
    return 0;
}
