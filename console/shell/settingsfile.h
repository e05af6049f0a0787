// The settings file: 100 lines of text kept between runs, lines ended by CR LF. Line 1 is the
// script folder, line 2 the HEX folder of the bootloader window; the others are kept as read.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace sarnel {

// Settings lines 1 to 100 (element 0 is unused).
using SettingsLines = std::array<std::string, 101>;

inline constexpr const char* kSettingsAlertCaption = "Ini file load/save error";
inline constexpr const char* kSettingsAlertMessage =
    "This is usually the result of another program taking over the INI file for this program.  This can "
    "typically be resolved by deleting the INI file in this program's directory and then re-starting the "
    "program";

// "load" or "save" (any letter case; another mode does nothing).
// load: a missing or empty file is created with two lines of one space each, then up to 100
// lines are read into lines 1, 2, ... (lines beyond the file keep their values).
// save: lines 1 to 100 are written to a new file beside the old one, which is then renamed
// over it: a failed save leaves the old file whole. A symbolic link is followed, and its
// target replaced; a read-only file becomes writable. Where the folder takes no new file the
// file is rewritten in place, after its room has been reserved.
// Only a regular file is read or replaced (a named pipe, a device or a folder is refused),
// and opening never blocks.
// A failure shows the "Ini file load/save error" alert, with a line naming the file, and ends
// the load or save; what was read so far stays. Returns false after a failure.
bool settingsfile(const std::string& mode, const std::string& path, SettingsLines& lines);

// The settings alert's message: the fixed text, then "Settings file: PATH (CAUSE)".
std::string settingsalertmessage(const std::string& path, const std::string& cause);

// The console's error number for a failed file operation with the system error `err`
// (70 access denied, 76 path not found, 75 any other access error).
std::int32_t fileerrornumber(int err);

// Where the settings file lives: beside the program ("<program folder>/<program name>.ini")
// when the file there can be written, or that folder can and the program is not an installed
// one (whose help documents are in ../share/sarnel), else in the user's configuration folder
// ($XDG_CONFIG_HOME, or ~/.config, then "sarnel/"), which is created as needed.
std::string settingspath(const std::string& programFolder, const std::string& programName);

}  // namespace sarnel
