#include <com/activation.h>
#include <com/apartment.h>
#include <com/errorinfo.h>
#include <com/module.h>
#include <com/registrar.h>
#include <com/registry.h>
#include <com/text.h>
#include <com/typelib.h>
#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

namespace com {

namespace {

HRESULT fail(HRESULT hr, const std::string& why) {
    setErrorInfo({widen(why), u"comrt", IID_NULL});
    return hr;
}

// True when the failing call left error information (which stays for the caller).
bool keepErrorInfo() {
    auto e = getErrorInfo();
    if (!e) return false;
    setErrorInfo(std::move(*e));
    return true;
}

struct LoadedModule {
    std::string path;
    void* handle = nullptr;
    DllGetClassObjectFn getClassObject = nullptr;
    DllCanUnloadNowFn canUnloadNow = nullptr;
    ComModuleResourcesFn resources = nullptr;

    ~LoadedModule() {
        if (handle) ::dlclose(handle);
    }
};
using ModuleRef = std::shared_ptr<LoadedModule>;

// Process-wide state. Never destroyed: unloading modules while static destructors of the
// program run would pull code from under objects that are still alive.
struct State {
    std::mutex mutex;
    std::map<std::string, ModuleRef> modules;  // by path
    Registry privateRegistry;                  // registration-free: what the modules beside the program say
    std::set<std::string> merged;              // modules already read into privateRegistry
};

State& state() {
    static State* s = new State;
    return *s;
}

bool fileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// With the state's mutex held.
HRESULT loadModuleLocked(const std::string& path, ModuleRef& out) {
    State& s = state();
    if (auto it = s.modules.find(path); it != s.modules.end()) {
        out = it->second;
        return S_OK;
    }
    if (!fileExists(path)) return fail(CO_E_DLLNOTFOUND, "The module " + path + " does not exist.");
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = ::dlerror();
        return fail(CO_E_ERRORINDLL,
                    "The module " + path + " could not be loaded: " + (why ? why : "unknown reason"));
    }
    auto m = std::make_shared<LoadedModule>();
    m->path = path;
    m->handle = handle;
    m->getClassObject = reinterpret_cast<DllGetClassObjectFn>(::dlsym(handle, "DllGetClassObject"));
    m->canUnloadNow = reinterpret_cast<DllCanUnloadNowFn>(::dlsym(handle, "DllCanUnloadNow"));
    m->resources = reinterpret_cast<ComModuleResourcesFn>(::dlsym(handle, "ComModuleResources"));
    if (!m->getClassObject)
        return fail(CO_E_ERRORINDLL, "The module " + path + " does not export DllGetClassObject.");
    s.modules.emplace(path, m);
    out = std::move(m);
    return S_OK;
}

// Reads one module beside the program into the private registry (mutex held). Modules
// that do not load or carry no resources are remembered as read, and contribute nothing.
void mergeLocked(const std::string& path) {
    State& s = state();
    if (!s.merged.insert(path).second) return;
    ModuleRef m;
    if (failed(loadModuleLocked(path, m)) || !m->resources) {
        clearErrorInfo();
        return;
    }
    const ModuleResources* res = m->resources();
    if (!res) return;
    Registry scratch = s.privateRegistry;
    for (const ScriptResource& script : res->scripts)
        if (failed(applyScript(scratch, script.text, {{"MODULE", path}})))
            return;  // a broken script adds nothing
    for (const TypeLibResource& t : res->typeLibs) registerTypeLib(scratch, *t.lib, path);
    s.privateRegistry = std::move(scratch);
}

// The folders searched without registration: the program's own (a build tree), then the
// installed module folder relative to it (bin/../COM_INSTALLED_MODULE_DIR), as the install lays it out.
std::vector<std::string> moduleFolders() {
    std::vector<std::string> folders{programFolder()};
#ifdef COM_INSTALLED_MODULE_DIR
    char resolved[PATH_MAX];
    if (::realpath((programFolder() + "/../" COM_INSTALLED_MODULE_DIR).c_str(), resolved) &&
        resolved != folders.front())
        folders.push_back(resolved);
#endif
    return folders;
}

// The module that serves a ProgID "Project.Class[.N]" without registration, in the first
// folder that holds it; empty when none does.
std::string besideProgram(std::string_view progID) {
    std::string_view project = progID.substr(0, progID.find('.'));
    if (project.empty() || project.find('/') != std::string_view::npos) return {};
    const std::string name = "/lib" + std::string(project) + ".so";
    for (const std::string& folder : moduleFolders())
        if (fileExists(folder + name)) return folder + name;
    return programFolder() + name;
}

void mergeAllBesideProgramLocked() {
    for (const std::string& folder : moduleFolders()) {
        DIR* dir = ::opendir(folder.c_str());
        if (!dir) continue;
        std::set<std::string> names;
        while (dirent* e = ::readdir(dir)) {
            std::string n = e->d_name;
            if (n.size() > 6 && n.compare(0, 3, "lib") == 0 && n.compare(n.size() - 3, 3, ".so") == 0)
                names.insert(n);
        }
        ::closedir(dir);
        for (const std::string& n : names) mergeLocked(folder + "/" + n);
    }
}

// The class of a ProgID in one registry: the ProgID's own CLSID, through CurVer when the
// version-independent key names a current version.
enum class Lookup { Found, Missing, Bad };

Lookup progIDIn(const Registry& r, std::string_view progID, CLSID& out) {
    std::string key = "HKCR\\" + std::string(progID);
    if (!r.hasKey(key)) return Lookup::Missing;
    auto text = r.text(key + "\\CLSID");
    if (auto cur = r.text(key + "\\CurVer"); cur && !cur->empty()) {
        if (auto curClsid = r.text("HKCR\\" + *cur + "\\CLSID")) text = curClsid;
    }
    if (!text) return Lookup::Missing;
    auto g = GUID::parse(*text);
    if (!g) return Lookup::Bad;
    out = *g;
    return Lookup::Found;
}

std::optional<std::string> serverIn(const Registry& r, const CLSID& clsid) {
    auto path = r.text("HKCR\\CLSID\\" + clsid.toString() + "\\InprocServer32");
    if (!path || path->empty()) return std::nullopt;
    return path;
}

HRESULT classObjectFrom(const std::string& path, const CLSID& clsid, const IID& iid, void** out) {
    ModuleRef m;
    {
        std::lock_guard lock(state().mutex);
        if (HRESULT hr = loadModuleLocked(path, m); failed(hr)) return hr;
    }
    // Outside the lock: the module may activate further classes while it answers.
    HRESULT hr = m->getClassObject(clsid, iid, out);
    if (failed(hr) && !keepErrorInfo())
        return fail(hr, "The module " + path + " does not provide the class " + clsid.toString() + " (" +
                            resultName(hr) + ").");
    return hr;
}

}  // namespace

std::string programFolder() {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string p(buf, static_cast<std::size_t>(n));
    std::size_t slash = p.find_last_of('/');
    return slash == 0 ? "/" : p.substr(0, slash);
}

HRESULT clsidFromProgID(std::string_view progID, CLSID* out) {
    if (!out) return E_POINTER;
    if (auto g = GUID::parse(progID)) {
        *out = *g;
        return S_OK;
    }
    const std::string name(progID);
    if (name.empty() || name.find('\\') != std::string::npos)
        return fail(CO_E_CLASSSTRING, "'" + name + "' is not a ProgID.");
    Registry reg;
    std::string why;
    HRESULT readHr = loadRegistry(reg, &why);
    if (succeeded(readHr)) {
        switch (progIDIn(reg, name, *out)) {
            case Lookup::Found:
                return S_OK;
            case Lookup::Bad:
                return fail(CO_E_CLASSSTRING,
                            "The registered class identifier of " + name + " is not valid.");
            case Lookup::Missing:
                break;
        }
    }
    {
        std::lock_guard lock(state().mutex);
        if (std::string beside = besideProgram(name); !beside.empty()) mergeLocked(beside);
        if (progIDIn(state().privateRegistry, name, *out) == Lookup::Found) return S_OK;
    }
    if (failed(readHr)) return fail(readHr, "The component registry cannot be read: " + why);
    return fail(REGDB_E_CLASSNOTREG, "The class " + name +
                                         " is not registered, and no module beside the program (" +
                                         besideProgram(name) + ") provides it.");
}

HRESULT progIDFromCLSID(const CLSID& clsid, std::string* out) {
    if (!out) return E_POINTER;
    const std::string key = "HKCR\\CLSID\\" + clsid.toString() + "\\ProgID";
    Registry reg;
    if (succeeded(loadRegistry(reg))) {
        if (auto p = reg.text(key)) {
            *out = *p;
            return S_OK;
        }
    }
    std::lock_guard lock(state().mutex);
    mergeAllBesideProgramLocked();
    if (auto p = state().privateRegistry.text(key)) {
        *out = *p;
        return S_OK;
    }
    return fail(REGDB_E_CLASSNOTREG, "The class " + clsid.toString() + " has no ProgID.");
}

HRESULT getClassObject(const CLSID& clsid, const IID& iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    Registry reg;
    std::string why;
    HRESULT readHr = loadRegistry(reg, &why);
    HRESULT registeredHr = S_OK;
    std::optional<ErrorInfo> registeredError;
    if (succeeded(readHr)) {
        if (auto path = serverIn(reg, clsid)) {
            registeredHr = classObjectFrom(*path, clsid, iid, out);
            if (succeeded(registeredHr) ||
                (registeredHr != CO_E_DLLNOTFOUND && registeredHr != CO_E_ERRORINDLL))
                return registeredHr;
            registeredError = getErrorInfo();
        }
    }
    std::optional<std::string> beside;
    {
        std::lock_guard lock(state().mutex);
        beside = serverIn(state().privateRegistry, clsid);
        if (!beside) {
            mergeAllBesideProgramLocked();
            beside = serverIn(state().privateRegistry, clsid);
        }
    }
    if (beside) return classObjectFrom(*beside, clsid, iid, out);
    if (failed(registeredHr)) {
        if (registeredError) setErrorInfo(*registeredError);
        return registeredHr;
    }
    if (failed(readHr)) return fail(readHr, "The component registry cannot be read: " + why);
    return fail(REGDB_E_CLASSNOTREG, "The class " + clsid.toString() +
                                         " is not registered, and no module beside the program provides it.");
}

HRESULT createInstance(const CLSID& clsid, IUnknown* outer, const IID& iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!currentApartment())
        return fail(CO_E_NOTINITIALIZED, "The calling thread has not entered a component apartment.");
    ComPtr<IClassFactory> factory;
    if (HRESULT hr = getClassObject(clsid, IID_IClassFactory, factory.putVoid()); failed(hr)) return hr;
    HRESULT hr = factory->CreateInstance(outer, iid, out);
    if (failed(hr) && !keepErrorInfo())
        return fail(
            hr, "The class " + clsid.toString() + " could not create an object (" + resultName(hr) + ").");
    return hr;
}

HRESULT createInstance(std::string_view progIDOrClsid, const IID& iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    CLSID clsid;
    if (HRESULT hr = clsidFromProgID(progIDOrClsid, &clsid); failed(hr)) return hr;
    return createInstance(clsid, nullptr, iid, out);
}

void freeUnusedLibraries() {
    std::vector<ModuleRef> unload;
    {
        std::lock_guard lock(state().mutex);
        auto& modules = state().modules;
        for (auto it = modules.begin(); it != modules.end();) {
            const ModuleRef& m = it->second;
            bool idle = m.use_count() == 1 && (!m->canUnloadNow || m->canUnloadNow() == S_OK);
            // A module without DllCanUnloadNow cannot say it is idle: it stays.
            if (idle && m->canUnloadNow) {
                unload.push_back(m);
                it = modules.erase(it);
            } else {
                ++it;
            }
        }
    }
    // dlclose outside the lock: the module's destructors may call back into the runtime.
}

std::size_t loadedModuleCount() {
    std::lock_guard lock(state().mutex);
    return state().modules.size();
}

bool isModuleLoaded(const std::string& path) {
    std::lock_guard lock(state().mutex);
    return state().modules.count(path) != 0;
}

// ---------------------------------------------------------------------------------------------
// Type libraries of module files.

HRESULT loadTypeLib(const std::string& modulePath, ITypeLib** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    ModuleRef m;
    {
        std::lock_guard lock(state().mutex);
        if (HRESULT hr = loadModuleLocked(modulePath, m); failed(hr)) return hr;
    }
    const ModuleResources* res = m->resources ? m->resources() : nullptr;
    if (!res || res->typeLibs.empty())
        return fail(TYPE_E_LIBNOTREGISTERED, "The module " + modulePath + " carries no type library.");
    const TypeLibDesc* lib = res->typeLibs.front().lib;
    for (const TypeLibResource& t : res->typeLibs)
        if (t.id == 1) lib = t.lib;
    return createTypeLib(*lib, out, m);
}

HRESULT loadRegTypeLib(const GUID& libid, std::uint16_t major, std::uint16_t minor, ITypeLib** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    const std::string ver = "HKCR\\TypeLib\\" + libid.toString() + "\\" + versionText(major, minor);
    auto find = [&](const Registry& r) -> std::optional<std::string> {
        for (const std::string& sub : r.subkeys(ver))
            if (auto p = r.text(ver + "\\" + sub + "\\linux64")) return p;
        return std::nullopt;
    };
    Registry reg;
    std::optional<std::string> path;
    if (succeeded(loadRegistry(reg))) path = find(reg);
    if (!path) {
        std::lock_guard lock(state().mutex);
        mergeAllBesideProgramLocked();
        path = find(state().privateRegistry);
    }
    if (!path)
        return fail(TYPE_E_LIBNOTREGISTERED, "The type library " + libid.toString() + " " +
                                                 versionText(major, minor) + " is not registered.");
    return loadTypeLib(*path, out);
}

}  // namespace com
