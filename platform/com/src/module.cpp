#include <com/errorinfo.h>
#include <com/module.h>
#include <com/registrar.h>
#include <com/text.h>
#include <dlfcn.h>

#include <climits>
#include <cstdlib>
#include <cstring>

namespace com {

std::string versionText(const std::uint16_t (&p)[4]) {
    return std::to_string(p[0]) + "." + std::to_string(p[1]) + "." + std::to_string(p[2]) + "." +
           std::to_string(p[3]);
}

const char* versionString(const VersionBlock& v, const char* name) {
    for (const VersionString& s : v.strings)
        if (std::strcmp(s.name, name) == 0) return s.value;
    return nullptr;
}

std::string modulePathOf(const void* address) {
    Dl_info info{};
    if (!::dladdr(address, &info) || !info.dli_fname) return {};
    char resolved[PATH_MAX];
    if (::realpath(info.dli_fname, resolved)) return resolved;
    return info.dli_fname;
}

namespace {

HRESULT changeModule(const ModuleResources& res, const std::string& modulePath, bool add) {
    if (modulePath.empty() || modulePath.front() != '/') {
        setErrorInfo({widen("The module's full path is unknown."), u"comrt", IID_NULL});
        return SELFREG_E_CLASS;
    }
    const Replacements replacements{{"MODULE", modulePath}};
    std::string why;
    HRESULT hr = updateRegistry(
        [&](Registry& r) -> HRESULT {
            for (const ScriptResource& s : res.scripts) {
                HRESULT h = add ? applyScript(r, s.text, replacements, &why)
                                : removeScript(r, s.text, replacements, &why);
                if (failed(h)) {
                    why = "registration script " + std::to_string(s.id) + ", " + why;
                    return h;
                }
            }
            for (const TypeLibResource& t : res.typeLibs) {
                if (add)
                    registerTypeLib(r, *t.lib, modulePath);
                else
                    unregisterTypeLib(r, *t.lib);
            }
            return S_OK;
        },
        &why);
    if (failed(hr)) setErrorInfo({widen(why), u"comrt", IID_NULL});
    return hr;
}

}  // namespace

HRESULT registerModule(const ModuleResources& res, const std::string& modulePath) {
    return changeModule(res, modulePath, true);
}

HRESULT unregisterModule(const ModuleResources& res, const std::string& modulePath) {
    return changeModule(res, modulePath, false);
}

}  // namespace com
