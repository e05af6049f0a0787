// The registrar: applies and removes a module's registration script.
//
// A script is a tree of keys under a root (HKCR, HKCU, HKLM):
//   HKCR
//   {
//       Name.Class.1 = s 'Name Class'         key with a default text value
//       {
//           CLSID = s '{...}'
//       }
//       NoRemove CLSID                        never removed itself
//       {
//           ForceRemove {...} = s 'Class'     replaced whole on registration, removed whole
//           {                                 on unregistration
//               InprocServer32 = s '%MODULE%'
//               {
//                   val ThreadingModel = s 'Apartment'      a named value
//               }
//               'MiscStatus' = d '0'         d: a 32-bit number (decimal or 0x hex)
//               Delete Obsolete              removed on registration
//           }
//       }
//   }
// Names and texts may be quoted with apostrophes ('' stands for one apostrophe). Before the
// script is read, every %NAME% is replaced from the replacement table (%% gives %); the
// values are inserted with their apostrophes doubled, so a module path holding one still
// forms a single quoted text.
//
// Unregistration walks the same tree: a ForceRemove key goes with everything below it; a
// NoRemove key stays and only its children are processed; any other key loses the values the
// script gave it and is removed when nothing else is left below it.
#pragma once

#include <com/base.h>
#include <com/registry.h>

#include <map>
#include <string>
#include <string_view>

namespace com {

using Replacements = std::map<std::string, std::string>;

// Replaces the %NAME% markers; false with the reason when a marker is unknown or unclosed.
bool expandScript(std::string_view script, const Replacements& replacements, std::string& out,
                  std::string* error);

// Checks the script without applying it: false with "line N: reason".
bool checkScript(std::string_view script, const Replacements& replacements, std::string* error);

// Applies or removes the script in `registry`. A script that does not parse changes nothing
// and gives SELFREG_E_CLASS with the reason in *error.
HRESULT applyScript(Registry& registry, std::string_view script, const Replacements& replacements,
                    std::string* error = nullptr);
HRESULT removeScript(Registry& registry, std::string_view script, const Replacements& replacements,
                     std::string* error = nullptr);

}  // namespace com
