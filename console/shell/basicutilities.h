// Small routines of the shell: the program's folder and the quick "is this an ordinary file"
// test.
#pragma once

#include <string>

namespace sarnel {

// The folder the running program was started from, without a trailing "/" (except for "/").
std::string apppath();
// The program file's name without its folder and extension ("sarnel").
std::string appname();

// True when `path` names an existing ordinary file. False without asking the file system when
// the path is empty, ends in "/" or "\", or ends in a character that sorts before "0" (a space,
// a full stop). Any failure gives false.
bool fileexists(const std::string& path);

}  // namespace sarnel
