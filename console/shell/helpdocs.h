// Where the help box finds its documents: beside the program (a build folder), else in the
// data folder of an installed program (<prefix>/share/sarnel beside <prefix>/bin).
#pragma once

#include <string>

namespace sarnel {

inline constexpr int kHelpDocument = 1;      // "helpfile.rtf"
inline constexpr int kRevisionDocument = 2;  // "revisionhistory.rtf"

// The file name of document `k` (1 or 2); "" for another k.
std::string helpdocumentname(int k);

// The path of document `k` under `programFolder`: the first of programFolder/NAME and
// programFolder/../share/sarnel/NAME that exists, else the first (so that the box can say
// which file is missing).
std::string helpdocumentpath(const std::string& programFolder, int k);

}  // namespace sarnel
