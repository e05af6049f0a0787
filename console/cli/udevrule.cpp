// sarnel-cli udev-rule: a udev rule that gives the user at the seat access to an adapter.
#include <serial/names.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <set>

#include "console/cli/cli.h"
#include "console/cli/input.h"

namespace sarnel::cli {

namespace {

int run(const std::vector<std::string>& args);

const CliCommand command(
    "udev-rule", "print a udev rule that gives you access to a USB adapter",
    "usage: sarnel-cli udev-rule [--port NAME | --ids VVVV:PPPP]\n"
    "Prints a udev rule that gives the user logged in at the seat access to a USB serial\n"
    "adapter (TAG+=\"uaccess\", by the adapter's USB vendor and product ids), for a file in\n"
    "/etc/udev/rules.d/ numbered 71, before the seat rules (73) that act on the tag, and\n"
    "the commands that install it and reload udev. The output is itself the rules file.\n"
    "Without --port or --ids the rule covers every USB serial device present that you\n"
    "cannot open (every one present when you can open them all). Nothing is opened.\n"
    "  --port NAME       the adapter's port: a COM name or a device path\n"
    "                    (such as /dev/serial/by-id/usb-...)\n"
    "  --ids VVVV:PPPP   the USB vendor and product ids, for an adapter not plugged in\n"
    "Exit codes: 0 printed, 1 no USB serial device to write a rule for, 2 bad arguments.\n",
    run);

// The rule's file, before 73-seat-late.rules and after the package's own 70-sarnel.rules.
constexpr const char* kRulesFolder = "/etc/udev/rules.d/";
constexpr const char* kRuleNumber = "71";

struct Target {
    std::string vendorId, productId;
    std::string about;  // a line that says which device it is; empty for --ids
};

// A device's own text on one comment line: control characters would end the comment.
std::string printable(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    }
    return text;
}

std::string describe(const std::string& name, const serial::PortInfo& p) {
    std::string about = name == p.path ? p.path : name + "  " + p.path;
    about += "  " + p.vendorId + ":" + p.productId;
    std::string what = p.manufacturer;
    if (!p.product.empty()) what += (what.empty() ? "" : " ") + p.product;
    if (!what.empty()) about += "  " + what;
    if (!p.serial.empty()) about += ", serial " + p.serial;
    return printable(about);
}

// A word as the shell reads it back: quoted when it holds anything but plain characters.
std::string shellword(const std::string& word) {
    bool plain = !word.empty();
    for (unsigned char c : word)
        plain = plain && (std::isalnum(c) ||
                          std::string("/._:-+=@%,").find(static_cast<char>(c)) != std::string::npos);
    if (plain) return word;
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

bool parseIds(const std::string& text, Target& target) {
    auto hex = [](const std::string& s) {
        if (s.size() != 4) return false;
        for (unsigned char c : s) {
            if (!std::isxdigit(c)) return false;
        }
        return true;
    };
    if (text.size() != 9 || text[4] != ':' || !hex(text.substr(0, 4)) || !hex(text.substr(5))) return false;
    for (char c : text) {
        if (c != ':')
            (target.vendorId.size() < 4 ? target.vendorId : target.productId) +=
                static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return true;
}

bool mayOpen(const std::string& path) {
    return ::access(path.c_str(), R_OK | W_OK) == 0;
}

// The device --port names; false with a line on standard error when it is no USB device.
bool portTarget(const std::string& name, std::vector<Target>& targets) {
    const serial::NameSettings names = serial::environmentNames();
    const serial::PortTarget where = serial::resolvePort(name, names);
    const std::optional<serial::PortInfo> info = serial::portInfo(name, names);
    const std::string label = where.path == name ? name : name + " (" + where.path + ")";
    std::string why;
    if (where.kind != serial::PortTarget::Kind::device) {
        why = name + " leads to no device" +
              (where.ownName.empty() ? "" : " (the port there is " + where.ownName + " now)");
    } else if (::access(where.path.c_str(), F_OK) != 0) {
        why = label + " does not exist: is the adapter plugged in?";
    } else if (!info) {
        why = label + " is not a serial device of this system's";
    } else if (!info->usb) {
        why = label + " is no USB device: a rule by USB ids cannot name it";
        const std::string group = serial::accessGroup(info->path);
        if (!group.empty()) why += "; members of the group " + group + " may open it";
    }
    if (!why.empty()) {
        std::fprintf(stderr, "sarnel-cli udev-rule: %s\n", why.c_str());
        return false;
    }
    targets.push_back({info->vendorId, info->productId, describe(name, *info)});
    return true;
}

// Every USB serial device present that this user cannot open, or every one when none is closed.
bool presentTargets(std::vector<Target>& targets) {
    std::vector<serial::NamedPort> usb;
    for (serial::NamedPort& n : serial::namePorts(serial::environmentNames())) {
        if (n.info.usb) usb.push_back(std::move(n));
    }
    bool anyClosed = false;
    for (const serial::NamedPort& n : usb) anyClosed = anyClosed || !mayOpen(n.info.path);
    for (const serial::NamedPort& n : usb) {
        if (!anyClosed || !mayOpen(n.info.path))
            targets.push_back({n.info.vendorId, n.info.productId, describe(n.name, n.info)});
    }
    if (targets.empty()) {
        std::fputs(
            "sarnel-cli udev-rule: no USB serial device is plugged in: plug the adapter in, or give its ids "
            "with --ids VVVV:PPPP\n",
            stderr);
        return false;
    }
    return true;
}

std::string ruletext(const std::vector<Target>& targets, const std::string& invocation) {
    std::set<std::string> ids;
    for (const Target& t : targets) ids.insert(t.vendorId + ":" + t.productId);
    const std::string file =
        std::string(kRulesFolder) + kRuleNumber + "-sarnel-" +
        (ids.size() == 1 ? targets.front().vendorId + "-" + targets.front().productId : "adapters") +
        ".rules";
    std::string text = "# " + file + "\n#\n";
    text += ids.size() == 1 ? "# Gives the user logged in at the seat access to this USB serial adapter:\n"
                            : "# Gives the user logged in at the seat access to these USB serial adapters:\n";
    for (const Target& t : targets)
        text += "#   " + (t.about.empty() ? t.vendorId + ":" + t.productId : t.about) + "\n";
    text += "# The number " + std::string(kRuleNumber) +
            " puts it before 73-seat-late.rules, which turns the \"uaccess\" tag into\n"
            "# access for the user of the active session.\n#\n"
            "# To install it and apply it to an adapter plugged in now:\n"
            "#   " +
            invocation + " | sudo tee " + file +
            " >/dev/null\n"
            "#   sudo udevadm control --reload-rules\n"
            "#   sudo udevadm trigger --subsystem-match=tty --action=change\n\n";
    for (const std::string& id : ids) {
        text += "SUBSYSTEM==\"tty\", SUBSYSTEMS==\"usb\", ATTRS{idVendor}==\"" + id.substr(0, 4) +
                "\", ATTRS{idProduct}==\"" + id.substr(5) + "\", TAG+=\"uaccess\"\n";
    }
    return text;
}

int run(const std::vector<std::string>& args) {
    if (wantsHelp(command, args)) return kExitOk;
    std::string port, ids;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--port" || a == "--ids") {
            if (i + 1 >= args.size()) return usageError("udev-rule", a + " needs a value");
            (a == "--port" ? port : ids) = args[++i];
        } else if (a.size() > 1 && a[0] == '-') {
            return usageError("udev-rule", "unknown option '" + a + "'");
        } else {
            return usageError("udev-rule", "unexpected argument '" + a + "'");
        }
    }
    if (!port.empty() && !ids.empty()) return usageError("udev-rule", "--port and --ids exclude each other");

    std::vector<Target> targets;
    std::string invocation = "sarnel-cli udev-rule";
    if (!ids.empty()) {
        Target t;
        if (!parseIds(ids, t))
            return usageError("udev-rule", "--ids takes VVVV:PPPP in hexadecimal, not '" + ids + "'");
        targets.push_back(t);
        invocation += " --ids " + t.vendorId + ":" + t.productId;
    } else if (!port.empty()) {
        if (!portTarget(port, targets)) return kExitFailure;
        invocation += " --port " + shellword(port);
    } else if (!presentTargets(targets)) {
        return kExitFailure;
    }
    writetext(stdout, ruletext(targets, invocation));
    return kExitOk;
}

}  // namespace

}  // namespace sarnel::cli
