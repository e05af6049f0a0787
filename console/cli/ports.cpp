// sarnel-cli ports: the port scan as a table (or JSON), with what the system knows of each port.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <nlohmann/json.hpp>

#include "console/cli/cli.h"
#include "console/cli/session.h"
#include "console/responses/portpresence.h"

namespace sarnel::cli {

namespace {

int run(const std::vector<std::string>& args);

const CliCommand command(
    "ports", "scan the serial ports for the adapter",
    "usage: sarnel-cli ports [--all] [--json] [--simulate]\n"
    "Scans COM1 to COM999 as the console's port list does and prints a table of the ports\n"
    "found: the COM name, the device path it leads to, its /dev/serial/by-id name, the\n"
    "product, the serial number, and whether it answered as an adapter.\n"
    "  --all       list every port that opens, not only those that answer as an adapter\n"
    "  --json      print the same as a JSON array of objects, one per port\n"
    "  --simulate  scan with a simulated adapter present (as COM3)\n",
    run);

struct Row {
    std::string name, path, byId, product, serial;
    bool adapter = false;
    std::optional<serial::PortInfo> info;
};

void printtable(const std::vector<Row>& rows) {
    const std::vector<std::string> head = {"PORT", "DEVICE", "BY-ID", "PRODUCT", "SERIAL", "ADAPTER"};
    std::vector<std::vector<std::string>> cells = {head};
    for (const Row& r : rows) {
        auto orDash = [](const std::string& s) { return s.empty() ? std::string("-") : s; };
        cells.push_back({r.name, orDash(r.path), orDash(r.byId), orDash(r.product), orDash(r.serial),
                         r.adapter ? "yes" : "no"});
    }
    std::vector<std::size_t> width(head.size(), 0);
    for (const auto& line : cells)
        for (std::size_t i = 0; i < line.size(); ++i) width[i] = std::max(width[i], line[i].size());
    for (const auto& line : cells) {
        std::string out;
        for (std::size_t i = 0; i < line.size(); ++i) {
            out += line[i];
            if (i + 1 < line.size()) out += std::string(width[i] - line[i].size() + 2, ' ');
        }
        std::printf("%s\n", out.c_str());
    }
}

void printjson(const std::vector<Row>& rows) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const Row& r : rows) {
        nlohmann::ordered_json port;
        auto text = [](const std::string& s) {
            return s.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(s);
        };
        port["name"] = r.name;
        port["path"] = text(r.path);
        port["byId"] = text(r.byId);
        port["driver"] = r.info ? text(r.info->driver) : nullptr;
        port["usb"] = r.info && r.info->usb;
        port["vendorId"] = r.info && r.info->usb ? text(r.info->vendorId) : nullptr;
        port["productId"] = r.info && r.info->usb ? text(r.info->productId) : nullptr;
        port["manufacturer"] = r.info ? text(r.info->manufacturer) : nullptr;
        port["product"] = r.info ? text(r.info->product) : nullptr;
        port["serial"] = text(r.serial);
        port["adapter"] = r.adapter;
        list.push_back(std::move(port));
    }
    // Device strings are the device's: bytes that are not UTF-8 are replaced, not refused.
    std::printf("%s\n", list.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
}

int run(const std::vector<std::string>& args) {
    if (wantsHelp(command, args)) return kExitOk;
    bool all = false, json = false;
    std::vector<std::string> rest;
    for (const std::string& a : args) {
        if (a == "--all")
            all = true;
        else if (a == "--json")
            json = true;
        else
            rest.push_back(a);
    }
    PortOptions options;
    std::string error;
    if (!parseoptions(rest, options, error)) return usageError("ports", error);
    if (!options.rest.empty())
        return usageError("ports", "unexpected argument '" + options.rest.front() + "'");
    try {
        Session session(options.simulate);
        ScanRequest request;
        request.expected = kAdapterReplies;
        request.listSilent = all;
        const ScanResult found = session.console().scanner().scan(request);
        if (!found.denied.empty()) session.view().reportDeniedPorts(found.denied);
        if (!found.namesProblem.empty())
            std::fprintf(stderr, "sarnel-cli ports: %s\n", found.namesProblem.c_str());

        const serial::NameSettings names = serial::environmentNames();
        std::vector<Row> rows;
        for (const ScannedPort& port : found.ports) {
            const OpenPort known = identifyport(port.name, names);
            Row row;
            row.name = port.name;
            row.path = known.path.empty() ? port.path : known.path;
            row.info = known.info;
            row.byId = known.info ? known.info->byId : "";
            row.product = known.info ? productname(*known.info) : "";
            row.serial = known.info ? known.info->serial : "";
            row.adapter = port.answered;
            rows.push_back(std::move(row));
        }
        if (json)
            printjson(rows);
        else
            printtable(rows);
        return kExitOk;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sarnel-cli ports: %s\n", e.what());
        return kExitFailure;
    }
}

}  // namespace

}  // namespace sarnel::cli
