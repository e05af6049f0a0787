#include <com/object.h>
#include <com/text.h>
#include <com/typelib.h>

#include <cstdio>

namespace com {

namespace {

char16_t lower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool sameName(const std::u16string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size(); ++i) {
        if (b[i] == '\0') return false;
        if (lower(a[i]) != lower(static_cast<char16_t>(static_cast<unsigned char>(b[i])))) return false;
    }
    return b[i] == '\0';
}

std::u16string wide(const char* s) {
    return s ? widen(s) : std::u16string();
}

struct LibState {
    const TypeLibDesc* desc;
    std::shared_ptr<const void> keepAlive;
};

HRESULT newTypeLib(std::shared_ptr<LibState> state, ITypeLib** out);

class TypeInfo final : public Object<ITypeInfo> {
public:
    TypeInfo(std::shared_ptr<LibState> state, std::uint32_t index)
        : state_(std::move(state)), index_(index), desc_(state_->desc->types[index]) {}

    const TypeDesc& GetTypeDesc() override { return desc_; }

    HRESULT GetIDsOfNames(const std::u16string* names, std::uint32_t count, DISPID* ids) override {
        return namesToIds(desc_, names, count, ids);
    }

    HRESULT GetDocumentation(DISPID member, std::u16string* name, std::u16string* help) override {
        if (member == MEMBERID_NIL) {
            if (name) *name = wide(desc_.name);
            if (help) *help = wide(desc_.help);
            return S_OK;
        }
        for (const FuncDesc& f : desc_.funcs)
            if (f.id == member) {
                if (name) *name = wide(f.name);
                if (help) *help = wide(f.help);
                return S_OK;
            }
        return TYPE_E_ELEMENTNOTFOUND;
    }

    HRESULT FindMember(DISPID member, std::uint16_t invokeKind, const FuncDesc** out) override {
        return findMember(desc_, member, invokeKind, out);
    }

    HRESULT GetRefTypeOfImplType(std::uint32_t index, ITypeInfo** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (index >= desc_.impls.size()) return TYPE_E_ELEMENTNOTFOUND;
        const GUID& iid = *desc_.impls[index].iid;
        const auto& types = state_->desc->types;
        for (std::uint32_t i = 0; i < types.size(); ++i)
            if (types[i].guid == iid) {
                *out = new TypeInfo(state_, i);
                return S_OK;
            }
        return TYPE_E_ELEMENTNOTFOUND;
    }

    HRESULT GetImplTypeFlags(std::uint32_t index, std::int32_t* flags) override {
        if (!flags) return E_POINTER;
        if (index >= desc_.impls.size()) return TYPE_E_ELEMENTNOTFOUND;
        *flags = desc_.impls[index].flags;
        return S_OK;
    }

    HRESULT GetContainingTypeLib(ITypeLib** lib, std::uint32_t* index) override {
        if (index) *index = index_;
        if (!lib) return S_OK;
        return newTypeLib(state_, lib);
    }

private:
    std::shared_ptr<LibState> state_;
    std::uint32_t index_;
    const TypeDesc& desc_;
};

class TypeLib final : public Object<ITypeLib> {
public:
    explicit TypeLib(std::shared_ptr<LibState> state) : state_(std::move(state)) {}

    const TypeLibDesc& GetLibDesc() override { return *state_->desc; }
    std::uint32_t GetTypeInfoCount() override {
        return static_cast<std::uint32_t>(state_->desc->types.size());
    }

    HRESULT GetTypeInfo(std::uint32_t index, ITypeInfo** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (index >= GetTypeInfoCount()) return TYPE_E_ELEMENTNOTFOUND;
        *out = new TypeInfo(state_, index);
        return S_OK;
    }

    HRESULT GetTypeInfoOfGuid(const GUID& guid, ITypeInfo** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        for (std::uint32_t i = 0; i < GetTypeInfoCount(); ++i)
            if (state_->desc->types[i].guid == guid) return GetTypeInfo(i, out);
        return TYPE_E_ELEMENTNOTFOUND;
    }

private:
    std::shared_ptr<LibState> state_;
};

HRESULT newTypeLib(std::shared_ptr<LibState> state, ITypeLib** out) {
    *out = new TypeLib(std::move(state));
    return S_OK;
}

std::string libKey(const TypeLibDesc& d) {
    return "HKCR\\TypeLib\\" + d.libid.toString();
}

}  // namespace

HRESULT namesToIds(const TypeDesc& type, const std::u16string* names, std::uint32_t count, DISPID* ids) {
    if (count == 0) return S_OK;
    if (!names || !ids) return E_POINTER;
    for (std::uint32_t i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    const FuncDesc* found = nullptr;
    for (const FuncDesc& f : type.funcs)
        if (sameName(names[0], f.name)) {
            found = &f;
            // The get of a property carries no value parameter; prefer an entry whose
            // parameters can answer the names asked for.
            if (count == 1 || f.params.size() + 1 >= count) break;
        }
    if (!found) return DISP_E_UNKNOWNNAME;
    ids[0] = found->id;
    HRESULT hr = S_OK;
    for (std::uint32_t i = 1; i < count; ++i) {
        for (std::size_t p = 0; p < found->params.size(); ++p)
            if (sameName(names[i], found->params[p].name)) ids[i] = static_cast<DISPID>(p);
        if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT findMember(const TypeDesc& type, DISPID member, std::uint16_t invokeKind, const FuncDesc** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    std::uint16_t wanted = invokeKind;
    if (wanted & DISPATCH_METHOD) wanted |= DISPATCH_PROPERTYGET;
    for (const FuncDesc& f : type.funcs)
        if (f.id == member && (f.invokeKind & wanted)) {
            // An exact kind wins over a method call answered by a get.
            if (!*out || (f.invokeKind & invokeKind)) *out = &f;
            if (f.invokeKind & invokeKind) break;
        }
    return *out ? S_OK : DISP_E_MEMBERNOTFOUND;
}

bool implementedInterface(const TypeDesc& coclass, std::int32_t flags, GUID* out) {
    for (const ImplTypeDesc& i : coclass.impls)
        if (i.flags == flags) {
            if (out) *out = *i.iid;
            return true;
        }
    return false;
}

std::uint32_t FuncDesc::requiredCount() const {
    std::uint32_t n = 0;
    for (const ParamDesc& p : params)
        if (!(p.flags & PARAMFLAG_FOPT)) ++n;
    return n;
}

HRESULT createTypeLib(const TypeLibDesc& desc, ITypeLib** out, std::shared_ptr<const void> keepAlive) {
    if (!out) return E_POINTER;
    return newTypeLib(std::make_shared<LibState>(LibState{&desc, std::move(keepAlive)}), out);
}

std::string versionText(std::uint16_t major, std::uint16_t minor) {
    return std::to_string(major) + "." + std::to_string(minor);
}

void registerTypeLib(Registry& r, const TypeLibDesc& d, const std::string& modulePath) {
    const std::string ver = libKey(d) + "\\" + versionText(d.major, d.minor);
    char lcid[16];
    std::snprintf(lcid, sizeof lcid, "%x", d.lcid);
    r.deleteTree(ver);
    r.setValue(ver, "", RegValue::string(d.help ? d.help : ""));
    r.setValue(ver + "\\" + lcid + "\\linux64", "", RegValue::string(modulePath));
    r.setValue(ver + "\\FLAGS", "", RegValue::string("0"));
    std::string folder = modulePath.substr(
        0, modulePath.find_last_of('/') == std::string::npos ? 0 : modulePath.find_last_of('/'));
    r.setValue(ver + "\\HELPDIR", "", RegValue::string(folder));
    for (const TypeDesc& t : d.types) {
        if (t.kind == TypeKind::CoClass) continue;
        const std::string iface = "HKCR\\Interface\\" + t.guid.toString();
        r.deleteTree(iface);
        r.setValue(iface, "", RegValue::string(t.name));
        r.setValue(iface + "\\TypeLib", "", RegValue::string(d.libid.toString()));
        r.setValue(iface + "\\TypeLib", "Version", RegValue::string(versionText(d.major, d.minor)));
    }
}

void unregisterTypeLib(Registry& r, const TypeLibDesc& d) {
    r.deleteTree(libKey(d) + "\\" + versionText(d.major, d.minor));
    if (r.subkeys(libKey(d)).empty()) r.deleteTree(libKey(d));
    for (const TypeDesc& t : d.types)
        if (t.kind != TypeKind::CoClass) r.deleteTree("HKCR\\Interface\\" + t.guid.toString());
}

}  // namespace com
