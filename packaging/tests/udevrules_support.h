// A syntax check of udev rules as systemd-udevd reads them, for systems whose udevadm has no
// `verify` (Debian 12 ships systemd 252). It follows udev's own parser: each line is a list of
// KEY[{ATTR}] OPERATOR "VALUE" items, and each key allows only some operators. It is
// stricter in one place: items must be separated by a comma, as udev's documentation writes
// them (udev 252 accepts a missing one silently; later versions warn).
#pragma once

#include <string>
#include <vector>

namespace packtest {

struct RuleItem {
    std::string key, attr, op, value;
};

struct RuleProblem {
    int line;  // 1-based; a continued line counts from its first line
    std::string what;
};

// The items of one rule line; false with `why` set when udev would refuse it.
bool parseruleline(const std::string& line, std::vector<RuleItem>& items, std::string& why);

// Every problem of a rules file: lines udev refuses, and GOTOs without their LABEL.
std::vector<RuleProblem> checkudevrules(const std::string& text);

}  // namespace packtest
