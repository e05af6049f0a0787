// Arbitrary reply texts and lines into JSON: nothing may crash, the line is one line of valid
// JSON, and the reply and text read back as they went in (each byte its Latin-1 character).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "console/bench/jsonout.h"
#include "console/bench/valuepick.h"

namespace {

// UTF-8 of Latin-1 characters back to their bytes.
std::string latin1(const std::string& utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            out += static_cast<char>(b);
        } else {
            if (i + 1 >= utf8.size()) std::abort();
            out += static_cast<char>(((b & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = input.find('\n');
    const std::string_view reply = input.substr(0, cut);
    const std::string_view lines = cut == std::string_view::npos ? std::string_view{} : input.substr(cut + 1);
    const std::string line = sarnel::bench::replyjson(1.5, reply, lines);
    if (line.find('\n') != std::string::npos) std::abort();
    const nlohmann::json j = nlohmann::json::parse(line);  // throws, and so fails, on invalid JSON
    if (latin1(j.at("reply").get<std::string>()) != reply) std::abort();
    if (latin1(j.at("text").get<std::string>()) != lines) std::abort();
    (void)sarnel::bench::readbytes(reply);
    return 0;
}
