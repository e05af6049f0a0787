// What the bench tools print as JSON: one object per decoded reply (one line each, for JSON
// lines), the addresses a scan found and the bytes a register read got. Texts are bytes
// (ISO 8859-1 characters) and go into JSON as the Unicode characters of the same codes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "console/bench/registers.h"

namespace sarnel::bench {

// A reply as a JSON object on one line (no line end): "t" (seconds, as given), "code" (its
// characters 3 and 4), the reply's fields by its code, "text" (the bus activity lines it
// added) and "reply" (its text, without "!" and CR). A script's results ("10") are "items",
// each with a "type" and its fields:
//   start, stop                      {"type": "start"}
//   write, read                      "byte" (0..255), "ack" (true, false)
//   speed                            "speed" (kbit/s: 100, 400)
//   gpio                             "pin" (0..3), "level" (0, 1)
//   interrupt                        "level"
//   supply                           "open" (true for SetV Open), "volts" (2.5 .. 5.0)
//   drive (SCL0 .. SDA1), line (SCL?, SDA?)   "line" ("scl", "sda"), "level"
//   delay                            "value" (0..255), "unit" ("us": value + 20 us; "ms")
//   pins (GPPIN?)                    "interrupt", "gpio" (levels of GP0 .. GP3)
//   directions (GPDIR?)              "gpio" (GP0 .. GP3: 1 input, 0 output)
//   directions-set (GPDIR)           no fields
//   bad-token                        "token" (the refused code, as sent back)
//   unknown                          "char" (a character no item begins with)
// The other codes' fields: "00" device, revision, version (texts as sent); "11" stored, "12"
// replayed (true, false); "13", "14" edge ("high-to-low", "low-to-high"); "15", "16" trigger
// (true, false); "17", "18" speed; "19" volts, speed, trigger, edge; "1A" cause (the byte),
// reset ("power-up", "watchdog"); "20" interrupt (the level). A field the reply does not
// carry readably is null.
std::string replyjson(double t, std::string_view reply, std::string_view lines);

// {"found": [72, 80]}: the acknowledged 7-bit addresses, ascending.
std::string scanjson(const std::vector<std::uint8_t>& found);

// {"addr": 72, "reg": 0, "data": [25, 128]}
std::string registerjson(const RegisterAddress& at, const std::vector<std::uint8_t>& data);

}  // namespace sarnel::bench
