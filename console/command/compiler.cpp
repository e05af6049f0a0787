// The script compiler: normalisation, comments and the line table, the keyword table and the
// frame.
#include "console/command/compiler.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "console/base/alert.h"
#include "console/base/textroutines.h"
#include "console/command/frames.h"

namespace sarnel {

namespace {

constexpr std::string_view kUnidentified = "Unidentified element encountered: \r\n";
constexpr std::string_view kNoData = "No data to compile!";
constexpr std::string_view kTooLong = "I2C transactions limited to 125 tokens";
constexpr std::string_view kCompilerCaption = "I2C processor error";

// Words of a line beyond this many cannot be addressed (as in getfield); a line that has
// them has already produced far more than the frame can carry.
constexpr std::size_t kMaxWords = 8000;
// The frame carries at most this many token bytes.
constexpr std::int64_t kMaxTokenBytes = kMaxTokenCount - 1;

enum class Argument : std::uint8_t { None, Value, Acknowledge, Level, Volts, Directions };

struct Keyword {
    std::string_view word;
    std::string_view code;
    Argument argument;
    std::uint8_t bytes;
};

constexpr Keyword kKeywords[] = {
    {"start", "00", Argument::None, 1},
    {"write", "01", Argument::Value, 2},
    {"read", "02", Argument::Acknowledge, 1},
    {"stop", "04", Argument::None, 1},
    {"delay", "05", Argument::Value, 2},
    {"delayu", "05", Argument::Value, 2},
    {"delaym", "06", Argument::Value, 2},
    {"speed?", "10", Argument::None, 1},
    {"gp0lo", "20", Argument::None, 1},
    {"gp0hi", "21", Argument::None, 1},
    {"gp1lo", "30", Argument::None, 1},
    {"gp1hi", "31", Argument::None, 1},
    {"gp2lo", "40", Argument::None, 1},
    {"gp2hi", "41", Argument::None, 1},
    {"gp3lo", "50", Argument::None, 1},
    {"gp3hi", "51", Argument::None, 1},
    {"int?", "60", Argument::None, 1},
    {"setv", "7", Argument::Level, 1},
    {"setvx", "76", Argument::Volts, 3},
    {"scl0", "80", Argument::None, 1},
    {"scl1", "81", Argument::None, 1},
    {"sda0", "82", Argument::None, 1},
    {"sda1", "83", Argument::None, 1},
    {"scl?", "90", Argument::None, 1},
    {"sda?", "92", Argument::None, 1},
    {"gppin?", "A0", Argument::None, 1},
    {"gpdir?", "A1", Argument::None, 1},
    {"gpdir", "A2", Argument::Directions, 3},
    // Deliberately malformed: "76" without its four digits, to see the adapter reject it.
    {"badtokentest", "76", Argument::None, 1},
};

// The slave supply levels of "setv", by their last code digit.
constexpr std::array<std::string_view, 6> kLevels{"open", "2.5", "3.0", "3.5", "4.0", "5.0"};

std::string lowercase(std::string_view word) {
    std::string out(word);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// The keyword table sorted by word, for a binary search.
const std::vector<const Keyword*>& sortedkeywords() {
    static const std::vector<const Keyword*> sorted = [] {
        std::vector<const Keyword*> v;
        for (const Keyword& k : kKeywords) v.push_back(&k);
        std::sort(v.begin(), v.end(), [](const Keyword* a, const Keyword* b) { return a->word < b->word; });
        return v;
    }();
    return sorted;
}

const Keyword* findkeyword(std::string_view word) {
    constexpr std::size_t kLongest = 12;  // "badtokentest"
    if (word.empty() || word.size() > kLongest) return nullptr;
    char lower[kLongest];
    for (std::size_t i = 0; i < word.size(); ++i) {
        const char c = word[i];
        lower[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    const std::string_view key(lower, word.size());
    const auto& sorted = sortedkeywords();
    const auto it = std::lower_bound(sorted.begin(), sorted.end(), key,
                                     [](const Keyword* k, std::string_view w) { return k->word < w; });
    return it != sorted.end() && (*it)->word == key ? *it : nullptr;
}

// A value argument: "0x" and two hexadecimal digits, or a number by the leading-number rule.
double argumentvalue(std::string_view word) {
    if (word.size() >= 2 && (word[1] == 'x' || word[1] == 'X')) return hextonum(word.substr(2, 2));
    return leadingnumber(word);
}

// Separators become one CR each; a run of them, one CR.
std::string normalise(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t sep = text.find_first_of("\r\n|", pos);
        if (sep == std::string::npos) {
            out.append(text, pos, std::string::npos);
            break;
        }
        out.append(text, pos, sep - pos);
        out.push_back('\r');
        pos = text.find_first_not_of("\r\n|", sep);
        if (pos == std::string::npos) pos = text.size();
    }
    return out;
}

// The lines that compile: pieces 1 to 100, comments cut, indented and empty ones dropped.
std::vector<std::string_view> linetable(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t pos = 0;
    for (std::size_t piece = 0; piece < kMaxScriptLines && pos <= text.size(); ++piece) {
        const std::size_t end = text.find('\r', pos);
        std::string_view line =
            text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        for (char comment : {';', '/', '\\'}) line = line.substr(0, line.find(comment));
        if (!line.empty() && line.front() != ' ') lines.push_back(line);
        if (end == std::string_view::npos) break;
        pos = end + 1;
    }
    return lines;
}

// The words of a line (it holds no tabs any more: cleanspaces made them spaces), into `out`;
// one beyond the addressable ones is enough to know that there are too many.
void splitwords(std::string_view line, std::vector<std::string_view>& out) {
    out.clear();
    std::size_t pos = 0;
    while (pos < line.size() && out.size() <= kMaxWords) {
        if (line[pos] == ' ') {
            ++pos;
            continue;
        }
        const std::size_t end = line.find(' ', pos);
        out.push_back(line.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos));
        if (end == std::string_view::npos) break;
        pos = end;
    }
}

CompileResult failure(std::string_view message) {
    CompileResult r;
    r.error = message;
    return r;
}

}  // namespace

CompileResult compilescript(std::string& script) {
    script = normalise(cleanspaces(script));
    const std::vector<std::string_view> lines = linetable(script);
    if (lines.empty()) return failure(kNoData);

    std::string out(kScriptFrameHead);
    out += "xx";
    // Token bytes in 64 bits: a hundred lines of thousands of words cannot overflow it. Once
    // past the frame's limit the tokens are no longer kept, but the words are still checked,
    // so that an unknown word is reported before the limit.
    std::int64_t count = 0;
    std::vector<std::string_view> w;
    for (std::string_view line : lines) {
        splitwords(line, w);
        for (std::size_t j = 0; j < w.size();) {
            if (j >= kMaxWords) return failure(kTooLong);
            const Keyword* k = findkeyword(w[j]);
            if (k == nullptr) return failure(std::string(kUnidentified) + std::string(w[j]));
            std::string_view arg;
            if (k->argument != Argument::None) {
                if (j + 1 < w.size() && j + 1 < kMaxWords) arg = w[j + 1];
                j += 2;
            } else {
                j += 1;
            }
            // The token goes straight into the frame while the frame has room for it.
            const bool keep = count + k->bytes <= kMaxTokenBytes;
            std::string scratch;
            std::string& token = keep ? out : scratch;
            const std::size_t tokenStart = token.size();
            token += k->code;
            switch (k->argument) {
                case Argument::None:
                    break;
                case Argument::Value:
                    token += numtohex(argumentvalue(arg), 2);
                    break;
                case Argument::Acknowledge:
                    if (lowercase(arg) != "ack") token.replace(tokenStart, 2, "03");
                    break;
                case Argument::Level: {
                    const std::string level = lowercase(arg);
                    std::size_t n = 0;
                    while (n < kLevels.size() && kLevels[n] != level) ++n;
                    if (n == kLevels.size()) return failure(std::string(kUnidentified) + std::string(arg));
                    token += static_cast<char>('0' + n);
                    break;
                }
                case Argument::Volts:
                    token += numtohex(leadingnumber(arg) * 1000.0, 4);
                    break;
                case Argument::Directions:
                    token += arg.size() > 4 ? arg.substr(arg.size() - 4) : arg;
                    break;
            }
            count += k->bytes;
        }
    }
    if (count > kMaxTokenBytes) return failure(kTooLong);
    const std::string length = numtohex(static_cast<double>(count + 1), 2);
    out[5] = length[0];
    out[6] = length[1];
    out.push_back('\r');
    CompileResult r;
    r.frame = std::move(out);
    r.tokenBytes = static_cast<std::int32_t>(count);
    return r;
}

std::string scriptprocessor(std::string& script) {
    CompileResult r = compilescript(script);
    if (r.frame.empty()) {
        ShowAlert(std::string(kCompilerCaption), r.error, 0, 0, 12);
        return "";
    }
    return std::move(r.frame);
}

}  // namespace sarnel
