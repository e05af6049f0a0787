#include "console/shell/helpdocs.h"

#include "console/shell/basicutilities.h"

namespace sarnel {

std::string helpdocumentname(int k) {
    if (k == kHelpDocument) return "helpfile.rtf";
    if (k == kRevisionDocument) return "revisionhistory.rtf";
    return {};
}

std::string helpdocumentpath(const std::string& programFolder, int k) {
    const std::string name = helpdocumentname(k);
    if (name.empty()) return {};
    const std::string folder = programFolder == "/" ? "" : programFolder;
    const std::string beside = folder + "/" + name;
    if (fileexists(beside)) return beside;
    const std::string installed = folder + "/../share/sarnel/" + name;
    if (fileexists(installed)) return installed;
    return beside;
}

}  // namespace sarnel
