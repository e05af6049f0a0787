// comreg: registers and unregisters component modules, and lists what a module declares.
//
//   comreg register MODULE...     run each module's DllRegisterServer
//   comreg unregister MODULE...   run each module's DllUnregisterServer
//   comreg list MODULE            the module's strings, version block and type library
//   comreg registry               the path of the registry file in use
//   comreg --version              the version of the product it comes with
//
// Exit status: 0 done, 1 a module failed, 2 bad arguments.
#include <com/errorinfo.h>
#include <com/module.h>
#include <com/registry.h>
#include <com/text.h>
#include <com/typelib.h>
#include <com/variant.h>
#include <dlfcn.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace com;

namespace {

int usage() {
    std::fputs(
        "usage: comreg register MODULE... | unregister MODULE... | list MODULE | registry | --version\n",
        stderr);
    return 2;
}

void report(const std::string& module, const char* what, HRESULT hr) {
    std::string why;
    if (auto e = getErrorInfo()) why = narrow(e->description);
    std::fprintf(stderr, "comreg: %s: %s failed with 0x%08X (%s)%s%s\n", module.c_str(), what,
                 static_cast<unsigned>(hr), resultName(hr).c_str(), why.empty() ? "" : ": ", why.c_str());
}

// Opens a module file; the handle stays open until the program ends.
void* openModule(const std::string& arg, std::string& fullPath) {
    char resolved[PATH_MAX];
    if (!::realpath(arg.c_str(), resolved)) {
        std::fprintf(stderr, "comreg: %s: %s\n", arg.c_str(), std::strerror(errno));
        return nullptr;
    }
    fullPath = resolved;
    void* h = ::dlopen(resolved, RTLD_NOW | RTLD_LOCAL);
    if (!h) std::fprintf(stderr, "comreg: %s: cannot load: %s\n", resolved, ::dlerror());
    return h;
}

int runEntry(const std::string& arg, const char* entry) {
    std::string path;
    void* h = openModule(arg, path);
    if (!h) return 1;
    auto fn = reinterpret_cast<DllRegisterServerFn>(::dlsym(h, entry));
    if (!fn) {
        std::fprintf(stderr, "comreg: %s: does not export %s\n", path.c_str(), entry);
        return 1;
    }
    HRESULT hr = fn();
    if (failed(hr)) {
        report(path, entry, hr);
        return 1;
    }
    std::printf("%s: %s succeeded (%s)\n", path.c_str(), entry, registryPath().c_str());
    return 0;
}

const char* typeName(std::uint16_t vt) {
    switch (vt) {
        case VT_EMPTY:
            return "void";
        case VT_I2:
            return "short";
        case VT_I4:
            return "long";
        case VT_I8:
            return "int64";
        case VT_R8:
            return "double";
        case VT_BSTR:
            return "BSTR";
        case VT_BOOL:
            return "VARIANT_BOOL";
        case VT_VARIANT:
            return "VARIANT";
        case VT_DISPATCH:
            return "IDispatch*";
        case VT_UNKNOWN:
            return "IUnknown*";
        case VT_UI1:
            return "unsigned char";
        default:
            return "?";
    }
}

const char* kindName(std::uint16_t k) {
    switch (k) {
        case DISPATCH_PROPERTYGET:
            return "propget";
        case DISPATCH_PROPERTYPUT:
            return "propput";
        default:
            return "method";
    }
}

void listTypeLib(const TypeLibDesc& lib) {
    std::printf("\ntype library %s %s, %s, lcid 0x%x, helpstring \"%s\"\n", lib.name,
                lib.libid.toString().c_str(), versionText(lib.major, lib.minor).c_str(), lib.lcid,
                lib.help ? lib.help : "");
    for (const TypeDesc& t : lib.types) {
        const char* kind = t.kind == TypeKind::CoClass ? "coclass"
                           : t.kind == TypeKind::Dual  ? "dual interface"
                                                       : "dispinterface";
        std::printf("\n  %s %s %s, helpstring \"%s\"\n", kind, t.name, t.guid.toString().c_str(),
                    t.help ? t.help : "");
        for (const ImplTypeDesc& i : t.impls) {
            const char* name = "?";
            for (const TypeDesc& u : lib.types)
                if (u.guid == *i.iid) name = u.name;
            std::printf("    %s%s%s\n", (i.flags & IMPLTYPEFLAG_FDEFAULT) ? "[default] " : "",
                        (i.flags & IMPLTYPEFLAG_FSOURCE) ? "[source] " : "", name);
        }
        for (const FuncDesc& f : t.funcs) {
            std::printf("    [id(%d), %s, helpstring \"%s\"] %s %s(", f.id, kindName(f.invokeKind),
                        f.help ? f.help : "", typeName(f.resultVt), f.name);
            for (std::size_t p = 0; p < f.params.size(); ++p) {
                const ParamDesc& d = f.params[p];
                std::printf("%s[%s%s%s] %s%s %s", p ? ", " : "", (d.flags & PARAMFLAG_FOUT) ? "out" : "in",
                            (d.flags & PARAMFLAG_FOPT) ? ", optional" : "", "", typeName(d.vt),
                            (d.flags & PARAMFLAG_FOUT) ? "*" : "", d.name);
            }
            std::printf(")\n");
        }
    }
}

int list(const std::string& arg) {
    std::string path;
    void* h = openModule(arg, path);
    if (!h) return 1;
    auto fn = reinterpret_cast<ComModuleResourcesFn>(::dlsym(h, "ComModuleResources"));
    const ModuleResources* res = fn ? fn() : nullptr;
    if (!res) {
        std::fprintf(stderr, "comreg: %s: carries no module resources\n", path.c_str());
        return 1;
    }
    std::printf("module %s\n", path.c_str());
    for (const char* e : {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer"})
        std::printf("  export %s%s\n", e, ::dlsym(h, e) ? "" : " (missing)");
    for (const StringResource& s : res->strings) std::printf("  string %u = \"%s\"\n", s.id, s.text);
    if (res->version) {
        std::printf("  file version %s, product version %s\n", versionText(res->version->fileVersion).c_str(),
                    versionText(res->version->productVersion).c_str());
        for (const VersionString& v : res->version->strings)
            std::printf("  version %s = \"%s\"\n", v.name, v.value);
    }
    for (const ScriptResource& s : res->scripts) std::printf("  registration script %u\n", s.id);
    for (const TypeLibResource& t : res->typeLibs) listTypeLib(*t.lib);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    setRegistryFolder(COMREG_REGISTRY_FOLDER);
    if (argc < 2) return usage();
    std::string cmd = argv[1];
    if (cmd == "--version" && argc == 2) {
        std::printf("comreg %s\n", COMREG_VERSION_TEXT);
        return 0;
    }
    if (cmd == "registry" && argc == 2) {
        std::printf("%s\n", registryPath().c_str());
        return 0;
    }
    if (cmd == "list" && argc == 3) return list(argv[2]);
    if ((cmd == "register" || cmd == "unregister") && argc >= 3) {
        int status = 0;
        for (int i = 2; i < argc; ++i)
            status |= runEntry(argv[i], cmd == "register" ? "DllRegisterServer" : "DllUnregisterServer");
        return status;
    }
    return usage();
}
