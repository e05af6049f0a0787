// The script workspace's rules, apart from the widgets that show them: the preset table of
// the loaded collection with the captions and list items it gives, the clicks of the token
// reference card (its captions and tooltips: tokenforlabel, frames.h), and the rules of the
// token value boxes. Texts are ISO 8859-1 bytes; line breaks are CR LF.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "console/command/collection.h"
#include "console/command/frames.h"

namespace sarnel {

inline constexpr int kPresetEntries = kMaxCollectionScripts + 1;
inline constexpr int kTokenValues = 4;

// Longest heading text on a preset button and in the collection list.
inline constexpr std::size_t kButtonCaptionLength = 30;
inline constexpr std::size_t kListItemLength = 100;

inline constexpr const char* kCollectionPrompt = "<<< Press to LOAD a script collection!";
inline constexpr const char* kCollectionSelect = "Select a script to process...";

// The preset table and what the controls show of it. Entry k (1 to 1000) is script k of the
// last loaded collection; preset button i shows script i + 1, list item k script 18 + k.
class Workspace {
public:
    Workspace();

    // Shows a collection: every caption is cleared and the list starts again, then each
    // script fills its entry, button caption or list item. Entries beyond the collection keep
    // their old scripts but no control reaches them any more.
    void load(const Collection& collection);

    const std::string& entry(int k) const { return entries_.at(static_cast<std::size_t>(k)); }
    // Caption of preset button `index` (0 to 17): characters 2 to 31 of its heading.
    const std::string& caption(int index) const { return captions_.at(static_cast<std::size_t>(index)); }
    // Items of the collection list: item 0 is the prompt, items 1 on are scripts 19 on.
    const std::vector<std::string>& listItems() const { return listItems_; }
    int scriptCount() const { return scriptCount_; }

    // The script a preset button puts into the queue; nothing when `caption` (the button's
    // caption as shown) is empty or the index is outside 0 to 17.
    std::optional<std::string> presetScript(int index, const std::string& caption) const;
    // The script a list item puts into the queue; nothing for item 0 (the prompt) or an item
    // the list does not hold.
    std::optional<std::string> listScript(int item) const;

private:
    std::vector<std::string> entries_;
    std::array<std::string, kPresetButtons> captions_;
    std::vector<std::string> listItems_;
    int scriptCount_ = 0;
};

// The value boxes: default text and longest text.
struct TokenValueBox {
    const char* defaultText;
    int maxLength;
};
const std::array<TokenValueBox, kTokenValues>& tokenValueBoxes();

// The script word a label adds: its caption from the 8th character, at most 20 characters.
std::string tokenKeyword(int index);

// The script line a click on label `index` adds, ending in CR LF; `values` are the texts of
// the four value boxes, to which the zero rule is applied as the click does. An index outside
// 0 to 31 gives "".
std::string tokenLine(int index, std::array<std::string, kTokenValues>& values);

// Zero rule of a value box, on losing the focus and before a Write or Delay click: a text whose
// value is 0 (empty, only zeros) becomes "0". The GPDIR box (3) holds pin directions, not a
// number: a typed "0000" means all pins are outputs and is kept; only an empty box becomes "0".
// Returns whether the text changed.
bool applyZeroRule(int box, std::string& text);

// Key filter of a value box: hexadecimal digits pass (lower case turned to upper case), so do
// backspace (8) and delete (127); every other character gives 0 (discarded).
char filterValueKey(char key);

}  // namespace sarnel
