// Script collection files: text files of scripts, each introduced by a heading line that
// starts with ";". Reading a file is separate from showing it, so that a file that cannot be
// read leaves the workspace as it was.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sarnel {

// Most scripts a collection holds: the preset table has entries 1 to 1000.
inline constexpr int kMaxCollectionScripts = 1000;

struct Collection {
    // Each script: its heading line, then for every further line CR LF and the line (no CR LF
    // after the last line). Script k of the file is scripts[k - 1].
    std::vector<std::string> scripts;
    // Lines before the first heading, joined the same way (CR LF before each line).
    std::string preamble;
    // Scripts after the 1000th heading, which are not kept.
    int leftOut = 0;
};

// Splits collection text into scripts. Lines end with CR LF, CR or LF; a terminator at the
// very end does not add an empty line. Bytes are kept as they are.
Collection parseCollection(std::string_view text);

// Reads and parses a collection file. A file that cannot be opened or read throws ConsoleError
// with the console's file error number (53 not found, 70 permission denied, 75 path/file access
// error, 76 path not found, 57 device I/O error) and a description naming the file.
Collection readCollection(const std::string& path);

}  // namespace sarnel
