// Records the alerts a test provokes instead of showing them.
#pragma once

#include <vector>

#include "console/base/alert.h"

namespace boottest {

class AlertLog : public sarnel::AlertPresenter {
public:
    AlertLog() { sarnel::setAlertPresenter(this); }
    ~AlertLog() override { sarnel::setAlertPresenter(nullptr); }
    std::int16_t present(const sarnel::AlertRequest& request) override {
        alerts.push_back(request);
        return -1;
    }
    std::vector<sarnel::AlertRequest> alerts;
};

}  // namespace boottest
