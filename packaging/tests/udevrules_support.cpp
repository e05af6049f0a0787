#include "udevrules_support.h"

#include <map>
#include <sstream>

namespace packtest {

namespace {

enum Attr { kNone, kRequired, kOptional };
enum Ops { kMatch = 1, kAssign = 2, kAdd = 4, kRemove = 8, kFinal = 16 };

struct KeyRule {
    Attr attr;
    int ops;  // the operators udev takes for the key
};

// The keys udev 252 knows, with the operators it accepts without an error (where it accepts
// one with a warning and reinterprets it, the operator is left out: a rule should not rely
// on that).
const std::map<std::string, KeyRule>& keys() {
    static const std::map<std::string, KeyRule> table = {
        {"ACTION", {kNone, kMatch}},
        {"DEVPATH", {kNone, kMatch}},
        {"KERNEL", {kNone, kMatch}},
        {"SUBSYSTEM", {kNone, kMatch}},
        {"DRIVER", {kNone, kMatch}},
        {"KERNELS", {kNone, kMatch}},
        {"SUBSYSTEMS", {kNone, kMatch}},
        {"DRIVERS", {kNone, kMatch}},
        {"TAGS", {kNone, kMatch}},
        {"RESULT", {kNone, kMatch}},
        {"PROGRAM", {kNone, kMatch | kAssign}},
        {"ATTRS", {kRequired, kMatch}},
        {"CONST", {kRequired, kMatch}},
        {"TEST", {kOptional, kMatch}},
        {"IMPORT", {kRequired, kMatch | kAssign}},
        {"NAME", {kNone, kMatch | kAssign | kFinal}},
        {"SYMLINK", {kNone, kMatch | kAssign | kAdd | kFinal}},
        {"ENV", {kRequired, kMatch | kAssign | kAdd | kFinal}},
        {"TAG", {kNone, kMatch | kAssign | kAdd | kRemove}},
        {"ATTR", {kRequired, kMatch | kAssign}},
        {"SYSCTL", {kRequired, kMatch | kAssign}},
        {"OWNER", {kNone, kAssign | kFinal}},
        {"GROUP", {kNone, kAssign | kFinal}},
        {"MODE", {kNone, kAssign | kFinal}},
        {"SECLABEL", {kRequired, kAssign | kAdd}},
        {"OPTIONS", {kNone, kAssign | kAdd}},
        {"RUN", {kOptional, kAssign | kAdd | kFinal}},
        {"LABEL", {kNone, kAssign}},
        {"GOTO", {kNone, kAssign}},
    };
    return table;
}

int operatorbit(const std::string& op) {
    if (op == "==" || op == "!=") return kMatch;
    if (op == "=") return kAssign;
    if (op == "+=") return kAdd;
    if (op == "-=") return kRemove;
    if (op == ":=") return kFinal;
    return 0;
}

bool blank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

bool parseruleline(const std::string& line, std::vector<RuleItem>& items, std::string& why) {
    items.clear();
    std::size_t i = 0;
    auto skipspace = [&] {
        while (i < line.size() && blank(line[i])) ++i;
    };
    skipspace();
    while (i < line.size()) {
        RuleItem item;
        const std::size_t keyStart = i;
        while (i < line.size() && ((line[i] >= 'A' && line[i] <= 'Z') || line[i] == '_')) ++i;
        item.key = line.substr(keyStart, i - keyStart);
        if (item.key.empty()) {
            why = "expected a key at column " + std::to_string(keyStart + 1);
            return false;
        }
        if (i < line.size() && line[i] == '{') {
            const std::size_t close = line.find('}', i);
            if (close == std::string::npos) {
                why = item.key + ": '{' without '}'";
                return false;
            }
            item.attr = line.substr(i + 1, close - i - 1);
            if (item.attr.empty()) {
                why = item.key + ": empty {}";
                return false;
            }
            i = close + 1;
        }
        skipspace();
        for (const char* op : {"==", "!=", "+=", "-=", ":=", "="}) {
            if (line.compare(i, std::char_traits<char>::length(op), op) == 0) {
                item.op = op;
                break;
            }
        }
        if (item.op.empty()) {
            why = item.key + ": no operator";
            return false;
        }
        i += item.op.size();
        skipspace();
        if (i >= line.size() || line[i] != '"') {
            why = item.key + ": the value must be in double quotes";
            return false;
        }
        ++i;
        for (;; ++i) {
            if (i >= line.size()) {
                why = item.key + ": the value's closing quote is missing";
                return false;
            }
            if (line[i] == '"') break;
            if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '"') ++i;
            item.value += line[i];
        }
        ++i;

        const auto known = keys().find(item.key);
        if (known == keys().end()) {
            why = "unknown key " + item.key;
            return false;
        }
        const KeyRule& rule = known->second;
        if (rule.attr == kNone && !item.attr.empty()) {
            why = item.key + " takes no {attribute}";
            return false;
        }
        if (rule.attr == kRequired && item.attr.empty()) {
            why = item.key + " needs an {attribute}";
            return false;
        }
        if ((rule.ops & operatorbit(item.op)) == 0) {
            why = item.key + " does not take " + item.op;
            return false;
        }
        items.push_back(item);

        skipspace();
        if (i == line.size()) break;
        if (line[i] != ',') {
            why = "items must be separated by a comma (column " + std::to_string(i + 1) + ")";
            return false;
        }
        ++i;
        skipspace();
        if (i == line.size()) {
            why = "a comma ends the line";
            return false;
        }
    }
    return true;
}

std::vector<RuleProblem> checkudevrules(const std::string& text) {
    std::vector<RuleProblem> problems;
    std::vector<std::pair<int, std::string>> gotos;
    std::string pending;
    int pendingStart = 0;
    int number = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        ++number;
        if (pending.empty()) pendingStart = number;
        // A backslash at the end continues the line.
        if (!line.empty() && line.back() == '\\') {
            pending += line.substr(0, line.size() - 1);
            continue;
        }
        line = pending + line;
        pending.clear();
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        std::vector<RuleItem> items;
        std::string why;
        if (!parseruleline(line, items, why)) {
            problems.push_back({pendingStart, why});
            continue;
        }
        for (const RuleItem& item : items) {
            if (item.key == "GOTO") gotos.emplace_back(pendingStart, item.value);
            if (item.key == "LABEL") {
                // A GOTO jumps forward only: its LABEL must come after it.
                for (auto it = gotos.begin(); it != gotos.end();)
                    it = it->second == item.value ? gotos.erase(it) : it + 1;
            }
        }
    }
    if (!pending.empty()) problems.push_back({pendingStart, "the file ends in a continued line"});
    for (const auto& [line, label] : gotos)
        problems.push_back({line, "GOTO \"" + label + "\" has no LABEL after it"});
    return problems;
}

}  // namespace packtest
