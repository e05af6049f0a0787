// The registry: a tree of keys under named roots ("HKCR" is the classes root), each key with
// a default value and named values. Key and value names compare without regard to ASCII case
// and keep the case they were created with.
//
// It lives in a per-user text file: $COM_REGISTRY_FILE when set (tests point it at their
// own), else FOLDER/registry in $XDG_CONFIG_HOME or ~/.config, where the program names FOLDER
// (setRegistryFolder below) or, failing that, the module registering itself. Every change
// is a transaction (updateRegistry): the file is locked, read, changed in memory, written to
// a temporary file beside it and renamed over it, so a reader sees the old file or the new
// one, never a half-written one. A file that cannot be parsed is reported with its line
// number and left untouched: no change is written over it.
//
// File format, one item a line (blank lines and lines starting with ';' or '#' are ignored):
//   [HKCR\CLSID\{...}\InprocServer32]     a key, by its full path
//   @="/usr/lib/app/libComp.so"          its default value
//   "ThreadingModel"="Apartment"          a named text value
//   "Count"=dword:0000002a                a named 32-bit value
// Inside quotes a backslash escapes '"' and '\'.
#pragma once

#include <com/base.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace com {

struct RegValue {
    enum class Type { String, Dword };
    Type type = Type::String;
    std::string text;
    std::uint32_t dword = 0;

    static RegValue string(std::string s) { return RegValue{Type::String, std::move(s), 0}; }
    static RegValue number(std::uint32_t v) { return RegValue{Type::Dword, {}, v}; }
    friend bool operator==(const RegValue&, const RegValue&) = default;
};

class Registry {
public:
    // Paths are "ROOT\key\subkey"; a trailing or doubled backslash is not a key name.
    bool hasKey(std::string_view path) const;
    // Creates the key and every missing parent.
    void createKey(std::string_view path);
    // Removes the key with everything below it; false when it did not exist.
    bool deleteTree(std::string_view path);
    // Removes the key when it has no subkeys; false when it is missing or has subkeys.
    bool deleteKey(std::string_view path);

    // Value "" is the default value. Setting a value creates the key.
    void setValue(std::string_view path, std::string_view name, RegValue value);
    std::optional<RegValue> value(std::string_view path, std::string_view name = {}) const;
    // The text of a string value (nullopt when missing or not a text).
    std::optional<std::string> text(std::string_view path, std::string_view name = {}) const;
    bool deleteValue(std::string_view path, std::string_view name);

    // Names of the direct subkeys, in the file's order (sorted by name, case ignored).
    std::vector<std::string> subkeys(std::string_view path) const;
    // Names of the key's values ("" for the default), in the order they were set.
    std::vector<std::string> valueNames(std::string_view path) const;
    // Every key path, parents before children.
    std::vector<std::string> keys() const;

    bool empty() const { return keys_.empty(); }

    // Parsing and printing the file format. parse gives false and a message with the line
    // number ("line 7: ...") for anything it does not understand; `out` is then unchanged.
    static bool parse(std::string_view text, Registry& out, std::string* error);
    std::string print() const;

private:
    struct Key {
        std::string path;  // as created
        std::vector<std::pair<std::string, RegValue>> values;
    };
    static std::string fold(std::string_view path);
    std::map<std::string, Key> keys_;  // by folded path
};

// The folder of the registry file under the user's configuration folder. A program names
// its own at start-up, before anything looks at the registry; a module suggests one when it
// registers itself, which counts only while the program has named none.
void setRegistryFolder(const std::string& folder);
void suggestRegistryFolder(const std::string& folder);

// The registry file in use (see the top of this header); empty while nothing named one. Then
// the registry reads as empty and a change fails with REGDB_E_WRITEREGDB.
std::string registryPath();

// Reads the registry file. A missing file is an empty registry. REGDB_E_READREGDB, with the
// reason in *error, when the file cannot be read or parsed.
HRESULT loadRegistry(Registry& out, std::string* error = nullptr);

// One change to the registry file, as a transaction: locks the file against other writers,
// loads it, calls `change`, and writes the result back when `change` succeeded and altered
// something. A damaged file is never overwritten: the result is then REGDB_E_READREGDB.
// REGDB_E_WRITEREGDB when the new file cannot be written (the old one stays as it was).
HRESULT updateRegistry(const std::function<HRESULT(Registry&)>& change, std::string* error = nullptr);

}  // namespace com
