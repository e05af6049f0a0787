// An alert presenter for tests and headless runs: keeps every alert it is asked to show and
// gives a chosen answer, without a window. Installed for its lifetime.
#pragma once

#include <vector>

#include "console/base/alert.h"

namespace sarnel {

class AlertRecorder final : public AlertPresenter {
public:
    explicit AlertRecorder(std::int16_t answer = -1) : answer_(answer) { setAlertPresenter(this); }
    ~AlertRecorder() override { setAlertPresenter(nullptr); }
    AlertRecorder(const AlertRecorder&) = delete;
    AlertRecorder& operator=(const AlertRecorder&) = delete;

    std::int16_t present(const AlertRequest& request) override {
        alerts.push_back(request);
        return answer_;
    }
    void answer(std::int16_t a) { answer_ = a; }

    std::vector<AlertRequest> alerts;

private:
    std::int16_t answer_;
};

}  // namespace sarnel
