// A BootView that keeps the window's fields in memory: sarnel-cli drives the bootloader
// protocol through it, and the tests read the fields back from it.
#pragma once

#include <array>
#include <deque>
#include <string>

#include "console/bootloader/bootview.h"

namespace sarnel::boot {

class TextBootView : public BootView {
public:
    // The fields in their design-time state: counters "0", programtime "---", responsecode
    // and responsedecode "-", both check boxes checked.
    TextBootView();

    std::string text(Field field) override;
    void setText(Field field, const std::string& value) override;
    void setResponseColour(Rgb colour) override { colour_ = colour; }
    std::string errorList() override;
    void setErrorList(const std::string& value) override;
    void prependError(const std::string& line) override;
    bool showProgress() override { return showProgress_; }
    bool runWithErrors() override { return runWithErrors_; }
    void clearProgress() override { progress_ = -1; }
    void drawProgress(double percent) override { progress_ = percent; }
    void beep() override { ++beeps_; }
    void selectNoPort() override { ++portResets_; }

    void setShowProgress(bool on) { showProgress_ = on; }
    void setRunWithErrors(bool on) { runWithErrors_ = on; }
    Rgb responseColour() const { return colour_; }
    // -1 when the bar is clear.
    double progress() const { return progress_; }
    int beeps() const { return beeps_; }
    int portResets() const { return portResets_; }
    // The log's lines, newest first.
    const std::deque<std::string>& errorLines() const { return errors_; }

private:
    std::array<std::string, 12> fields_;
    std::deque<std::string> errors_;
    Rgb colour_ = kWhite;
    bool showProgress_ = true;
    bool runWithErrors_ = true;
    double progress_ = -1;
    int beeps_ = 0;
    int portResets_ = 0;
};

}  // namespace sarnel::boot
