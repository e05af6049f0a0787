#include "console/command/workspace.h"

#include "console/base/textroutines.h"

namespace sarnel {

namespace {

constexpr std::array<TokenValueBox, kTokenValues> kValueBoxes = {{
    {"AA", 2},    // Write
    {"05", 2},    // Delayu
    {"05", 2},    // Delaym
    {"1111", 4},  // GPDIR
}};

// Characters `from` (counting from 1) onward, at most `count` of them.
std::string mid(const std::string& text, std::size_t from, std::size_t count) {
    if (from > text.size()) return "";
    return text.substr(from - 1, count);
}

std::string right(const std::string& text, std::size_t count) {
    return text.size() <= count ? text : text.substr(text.size() - count);
}

}  // namespace

Workspace::Workspace() : entries_(kPresetEntries), listItems_{kCollectionPrompt} {}

void Workspace::load(const Collection& collection) {
    for (std::string& caption : captions_) caption.clear();
    listItems_.assign(1, kCollectionPrompt);
    entries_[0] = collection.preamble;
    int k = 0;
    for (const std::string& script : collection.scripts) {
        if (++k >= kPresetEntries) break;
        entries_[static_cast<std::size_t>(k)] = script;
        const std::string heading = script.substr(0, script.find("\r\n"));
        if (k <= kPresetButtons) {
            captions_[static_cast<std::size_t>(k - 1)] = mid(heading, 2, kButtonCaptionLength);
        } else {
            if (k == kPresetButtons + 1) listItems_.assign(1, kCollectionSelect);
            listItems_.push_back(mid(heading, 2, kListItemLength));
        }
    }
    scriptCount_ = k;
}

std::optional<std::string> Workspace::presetScript(int index, const std::string& caption) const {
    if (index < 0 || index >= kPresetButtons || caption.empty()) return std::nullopt;
    return entries_[static_cast<std::size_t>(index + 1)];
}

std::optional<std::string> Workspace::listScript(int item) const {
    if (item < 1 || item >= static_cast<int>(listItems_.size())) return std::nullopt;
    return entries_[static_cast<std::size_t>(kPresetButtons + item)];
}

const std::array<TokenValueBox, kTokenValues>& tokenValueBoxes() {
    return kValueBoxes;
}

std::string tokenKeyword(int index) {
    const TokenCode* token = tokenforlabel(index);
    if (!token) return "";
    return mid(std::string(token->caption), 8, 20);
}

bool applyZeroRule(int box, std::string& text) {
    if (hextonum(text) != 0) return false;
    if (box == 3 && !text.empty()) return false;
    if (text == "0") return false;
    text = "0";
    return true;
}

std::string tokenLine(int index, std::array<std::string, kTokenValues>& values) {
    if (!tokenforlabel(index)) return "";
    std::string value;
    switch (index) {
        case 1:
            applyZeroRule(0, values[0]);
            value = values[0];
            break;
        case 4:
            applyZeroRule(1, values[1]);
            value = right("00" + values[1], 2);
            break;
        case 22:
            applyZeroRule(2, values[2]);
            value = right("00" + values[2], 2);
            break;
        case 31:
            // Missing leading digits become 1: those pins stay inputs.
            value = right("1111" + values[3], 4);
            break;
        default:
            break;
    }
    return tokenKeyword(index) + value + "\r\n";
}

char filterValueKey(char key) {
    if (key >= 'a' && key <= 'f') return static_cast<char>(key - 'a' + 'A');
    if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'F') || key == 8 || key == 127) return key;
    return 0;
}

}  // namespace sarnel
