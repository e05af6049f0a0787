// Arbitrary bytes from the adapter into the bootloader window's receive handler: every
// reply cut out, shown and decoded; the buffer stays within its cap; nothing crashes. The
// first byte picks showprogress; the rest arrive in pieces split at 0xFE bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "console/base/serialcontrol.h"
#include "console/bootloader/bootloader.h"
#include "console/bootloader/replies.h"
#include "console/bootloader/textbootview.h"
#include "console/responses/receivepath.h"

namespace {

class Bytes final : public sarnel::SerialControl {
public:
    void open(const std::string&, const std::string&) override {}
    void close() override {}
    bool isOpen() override { return true; }
    std::string portName() override { return "fuzz"; }
    std::int32_t write(const std::string& d, std::int32_t, std::int32_t) override {
        return static_cast<std::int32_t>(d.size());
    }
    void writeBackground(const std::string&) override {}
    std::string read() override {
        std::string out;
        out.swap(next);
        return out;
    }
    std::int32_t getBreak() override { return 0; }
    void setBreak(std::int32_t) override {}
    void clearRQ() override {}
    void clearTQ() override {}
    void setLineHandler(std::function<void()>) override {}
    std::string next;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    Bytes rs232;
    sarnel::boot::TextBootView view;
    view.setShowProgress(data[0] & 1);
    sarnel::boot::BootLoader loader(rs232, view);
    const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::size_t start = 0;
    while (start <= rest.size()) {
        std::size_t end = rest.find('\xFE', start);
        if (end == std::string::npos) end = rest.size();
        rs232.next = rest.substr(start, end - start);
        loader.onCharReceived();
        if (loader.receiveBuffer().size() > sarnel::kRxBufferCap) std::abort();
        // A reply never carries its own frame marks.
        if (loader.latestReply().find('\r') != std::string::npos) std::abort();
        start = end + 1;
    }
    // Every reply text decodes to one of the table's rows or to nothing.
    (void)sarnel::boot::decodeReply(loader.latestReply());
    (void)sarnel::boot::textvalue(rest);
    (void)sarnel::boot::splitlines(rest);
    return 0;
}
