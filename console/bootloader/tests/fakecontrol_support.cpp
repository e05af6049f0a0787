#include "fakecontrol_support.h"

#include "console/shell/consoleerror.h"

namespace boottest {

std::string reply(const std::string& text) { return "!" + text + "\r\n"; }

void FakeControl::arrive(const std::string& bytes) {
    during([this, bytes] {
        pending_ += bytes;
        if (bytes.find('\n') != std::string::npos && handler_) handler_();
    });
}

std::int32_t FakeControl::write(const std::string& data, std::int32_t count, std::int32_t timeoutMs) {
    if (failWrite) throw sarnel::ConsoleError(failWrite, "The write failed");
    frames.push_back(data);
    timeouts.push_back(timeoutMs);
    if (responder_) {
        const std::string answer = responder_(data);
        if (!answer.empty()) arrive(answer);
    }
    return count > 0 ? count : static_cast<std::int32_t>(data.size());
}

std::string FakeControl::read() {
    if (failRead) throw sarnel::ConsoleError(failRead, "The read failed");
    std::string out;
    out.swap(pending_);
    return out;
}

}  // namespace boottest
