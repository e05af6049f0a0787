// Collection text of any bytes: splitting it and showing it on the preset table must neither
// fail nor lose a line, and the table's limits must hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "console/command/collection.h"
#include "console/command/workspace.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const sarnel::Collection collection = sarnel::parseCollection(text);
    if (collection.scripts.size() > static_cast<std::size_t>(sarnel::kMaxCollectionScripts)) std::abort();

    // Every heading is either kept or counted as left out.
    std::size_t headings = 0;
    bool lineStart = true;
    for (std::size_t i = 0; i < size; ++i) {
        const char c = text[i];
        if (lineStart && c == ';') ++headings;
        lineStart = c == '\r' || c == '\n';
    }
    if (collection.scripts.size() + static_cast<std::size_t>(collection.leftOut) != headings) std::abort();
    for (const std::string& script : collection.scripts)
        if (script.empty() || script.front() != ';') std::abort();

    sarnel::Workspace workspace;
    workspace.load(collection);
    for (int i = 0; i < sarnel::kPresetButtons; ++i)
        if (workspace.caption(i).size() > sarnel::kButtonCaptionLength) std::abort();
    for (const std::string& item : workspace.listItems())
        if (item.size() > sarnel::kListItemLength && item != sarnel::kCollectionPrompt) std::abort();
    for (std::size_t item = 1; item < workspace.listItems().size(); ++item)
        if (!workspace.listScript(static_cast<int>(item))) std::abort();
    return 0;
}
