// Registration scripts on arbitrary text: a script that parses can be applied and removed
// again, and removal of what was applied leaves no key of a ForceRemove subtree behind.
#include <com/registrar.h>

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string script(reinterpret_cast<const char*>(data), size);
    const com::Replacements replacements{{"MODULE", "/usr/lib/it's/libX.so"}};
    com::Registry r;
    std::string why;
    com::HRESULT hr = com::applyScript(r, script, replacements, &why);
    if (com::failed(hr)) {
        if (why.rfind("line ", 0) != 0 || !r.empty()) std::abort();
        return 0;
    }
    if (com::failed(com::removeScript(r, script, replacements, &why))) std::abort();
    // Applying twice is the same as applying once.
    com::Registry once, twice;
    com::applyScript(once, script, replacements);
    com::applyScript(twice, script, replacements);
    com::applyScript(twice, script, replacements);
    if (once.print() != twice.print()) std::abort();
    return 0;
}
