#include "console/shell/rtfreader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

namespace sarnel {

namespace {

// Characters 0x80 to 0x9F of Windows-1252; 0 where the code page leaves a hole.
constexpr char32_t kCp1252[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                  0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Nesting beyond this is treated as flat: no document needs it, and a hostile one cannot grow
// the state stack without bound.
constexpr std::size_t kMaxDepth = 200;

void putUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

char32_t fromByte(unsigned char b) {
    if (b >= 0x80 && b < 0xA0 && kCp1252[b - 0x80] != 0) return kCp1252[b - 0x80];
    return b;
}

struct CharFormat {
    bool bold = false, italic = false, underline = false, mono = false;
    int halfPoints = 24;
    bool operator==(const CharFormat&) const = default;
};

struct GroupState {
    CharFormat format;
    bool skip = false;  // inside a destination whose text is not shown
    bool fontTable = false;
    int unicodeSkip = 1;
};

class Reader {
public:
    explicit Reader(const std::string& rtf) : in_(rtf) {}

    RtfDocument run() {
        RtfDocument doc;
        if (in_.compare(0, 5, "{\\rtf") != 0) return doc;
        doc.ok = true;
        stack_.push_back({});
        while (pos_ < in_.size()) step();
        endParagraph(false);
        doc.html = "<html><body>" + html_ + "</body></html>";
        doc.plain = plain_;
        return doc;
    }

private:
    GroupState& state() { return stack_.back(); }

    void step() {
        const char c = in_[pos_++];
        switch (c) {
            case '{':
                if (stack_.size() < kMaxDepth)
                    stack_.push_back(state());
                else
                    ++flatDepth_;
                return;
            case '}':
                if (flatDepth_ > 0)
                    --flatDepth_;
                else if (stack_.size() > 1)
                    stack_.pop_back();
                return;
            case '\\':
                control();
                return;
            case '\r':
            case '\n':
                return;
            default:
                text(fromByte(static_cast<unsigned char>(c)));
        }
    }

    void control() {
        if (pos_ >= in_.size()) return;
        const char c = in_[pos_];
        if (!isLetter(c)) {
            ++pos_;
            switch (c) {
                case '\\':
                case '{':
                case '}':
                    text(static_cast<char32_t>(c));
                    return;
                case '~':
                    text(0xA0);
                    return;
                case '_':
                    text('-');
                    return;
                case '*':
                    state().skip = true;
                    return;
                case '\'':
                    hexEscape();
                    return;
                case '\r':
                case '\n':
                    paragraph();
                    return;
                default:
                    return;  // \- and other control symbols show nothing
            }
        }
        std::string word;
        while (pos_ < in_.size() && isLetter(in_[pos_]) && word.size() < 32) word += in_[pos_++];
        while (pos_ < in_.size() && isLetter(in_[pos_])) ++pos_;  // an absurdly long word
        bool hasParam = false;
        long param = 0;
        bool negative = false;
        if (pos_ < in_.size() && in_[pos_] == '-') {
            negative = true;
            ++pos_;
        }
        int digits = 0;
        while (pos_ < in_.size() && in_[pos_] >= '0' && in_[pos_] <= '9') {
            if (digits++ < 9) param = param * 10 + (in_[pos_] - '0');
            hasParam = true;
            ++pos_;
        }
        if (negative) param = -param;
        if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;
        keyword(word, hasParam, param);
    }

    void hexEscape() {
        int value = 0;
        for (int i = 0; i < 2; ++i) {
            if (pos_ >= in_.size()) return;
            const int d = hexDigit(in_[pos_]);
            if (d < 0) return;
            value = value * 16 + d;
            ++pos_;
        }
        text(fromByte(static_cast<unsigned char>(value)));
    }

    void keyword(const std::string& w, bool hasParam, long param) {
        static const char* const kSkipped[] = {"fonttbl",    "colortbl",
                                               "stylesheet", "info",
                                               "pict",       "object",
                                               "header",     "footer",
                                               "headerl",    "headerr",
                                               "footerl",    "footerr",
                                               "listtable",  "listoverridetable",
                                               "generator",  "themedata",
                                               "datastore",  "latentstyles",
                                               "rsidtbl",    "xmlnstbl",
                                               "fldinst"};
        for (const char* s : kSkipped) {
            if (w == s) {
                state().skip = true;
                state().fontTable = w == "fonttbl";
                return;
            }
        }
        // The font table tells which fonts are fixed-pitch ("\fmodern"); the text shows those
        // in a monospace face.
        if (state().fontTable) {
            if (w == "f" && hasParam)
                fontDefined_ = param;
            else if (w == "fmodern" && monoFonts_.size() < 64)
                monoFonts_.push_back(fontDefined_);
            return;
        }
        CharFormat& f = state().format;
        const bool on = !hasParam || param != 0;
        if (w == "par")
            paragraph();
        else if (w == "line")
            lineBreak();
        else if (w == "tab")
            text('\t');
        else if (w == "b")
            f.bold = on;
        else if (w == "i")
            f.italic = on;
        else if (w == "ul")
            f.underline = on;
        else if (w == "ulnone")
            f.underline = false;
        else if (w == "fs" && hasParam && param > 0 && param < 2000)
            f.halfPoints = static_cast<int>(param);
        else if (w == "f" && hasParam)
            f.mono = std::find(monoFonts_.begin(), monoFonts_.end(), param) != monoFonts_.end();
        else if (w == "plain")
            f = CharFormat{};
        else if (w == "pard")
            align_ = "";
        else if (w == "qc")
            align_ = "center";
        else if (w == "qr")
            align_ = "right";
        else if (w == "qj")
            align_ = "justify";
        else if (w == "ql")
            align_ = "";
        else if (w == "uc" && hasParam && param >= 0 && param < 10)
            state().unicodeSkip = static_cast<int>(param);
        else if (w == "u" && hasParam)
            unicode(param);
        else if (w == "bullet")
            text(0x2022);
        else if (w == "emdash")
            text(0x2014);
        else if (w == "endash")
            text(0x2013);
        else if (w == "lquote")
            text(0x2018);
        else if (w == "rquote")
            text(0x2019);
        else if (w == "ldblquote")
            text(0x201C);
        else if (w == "rdblquote")
            text(0x201D);
    }

    void unicode(long param) {
        long code = param < 0 ? param + 65536 : param;
        if (code <= 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
        text(static_cast<char32_t>(code));
        // The fallback characters that follow stand for the same character.
        for (int n = state().unicodeSkip; n > 0 && pos_ < in_.size(); --n) {
            if (in_[pos_] == '\\' && pos_ + 1 < in_.size() && in_[pos_ + 1] == '\'') {
                pos_ = std::min(in_.size(), pos_ + 4);
            } else if (in_[pos_] == '{' || in_[pos_] == '}') {
                break;
            } else {
                ++pos_;
            }
        }
    }

    void text(char32_t c) {
        if (state().skip) return;
        openParagraph();
        if (!(run_ == state().format) || !runOpen_) {
            closeRun();
            openRun(state().format);
        }
        // HTML folds runs of spaces; the documents line up examples with them.
        if (c == ' ' && lastSpace_) {
            html_ += "&nbsp;";
            putUtf8(plain_, c);
            return;
        }
        lastSpace_ = c == ' ';
        switch (c) {
            case '<':
                html_ += "&lt;";
                break;
            case '>':
                html_ += "&gt;";
                break;
            case '&':
                html_ += "&amp;";
                break;
            case '"':
                html_ += "&quot;";
                break;
            case '\t':
                html_ += "&nbsp;&nbsp;&nbsp;&nbsp;";
                break;
            default:
                putUtf8(html_, c);
        }
        putUtf8(plain_, c);
    }

    void lineBreak() {
        if (state().skip) return;
        openParagraph();
        closeRun();
        html_ += "<br/>";
        plain_ += '\n';
        lastSpace_ = false;
    }

    void paragraph() {
        if (state().skip) return;
        endParagraph(true);
    }

    void openParagraph() {
        if (paraOpen_) return;
        html_ +=
            align_.empty() ? "<p style=\"margin:0\">" : "<p align=\"" + align_ + "\" style=\"margin:0\">";
        paraOpen_ = true;
        paraEmpty_ = true;
    }

    void endParagraph(bool always) {
        if (!paraOpen_ && !always) return;
        openParagraph();
        closeRun();
        if (paraEmpty_) html_ += "&nbsp;";
        html_ += "</p>";
        plain_ += '\n';
        paraOpen_ = false;
        lastSpace_ = false;
    }

    void openRun(const CharFormat& f) {
        run_ = f;
        runOpen_ = true;
        paraEmpty_ = false;
        std::ostringstream style;
        style << "font-size:" << f.halfPoints / 2 << (f.halfPoints % 2 ? ".5" : "") << "pt";
        if (f.bold) style << ";font-weight:bold";
        if (f.italic) style << ";font-style:italic";
        if (f.underline) style << ";text-decoration:underline";
        if (f.mono) style << ";font-family:monospace";
        html_ += "<span style=\"" + style.str() + "\">";
    }

    void closeRun() {
        if (!runOpen_) return;
        html_ += "</span>";
        runOpen_ = false;
    }

    static bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static int hexDigit(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    const std::string& in_;
    std::size_t pos_ = 0;
    std::vector<GroupState> stack_;
    std::size_t flatDepth_ = 0;
    std::string html_;
    std::string plain_;
    std::string align_;
    CharFormat run_;
    bool runOpen_ = false;
    bool paraOpen_ = false;
    bool paraEmpty_ = true;
    bool lastSpace_ = false;
    std::vector<long> monoFonts_;
    long fontDefined_ = -1;
};

std::string escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '&')
            out += "&amp;";
        else
            out += c;
    }
    return out;
}

RtfDocument notice(const std::string& line) {
    RtfDocument doc;
    doc.html = "<html><body><p>" + escape(line) + "</p></body></html>";
    doc.plain = line + "\n";
    return doc;
}

}  // namespace

RtfDocument readrtf(const std::string& rtf) {
    return Reader(rtf).run();
}

RtfDocument readrtffile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return notice("The document " + path + " could not be opened: " + std::strerror(errno) + ".");
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return notice("The document " + path + " could not be read.");
    RtfDocument doc = readrtf(data);
    if (!doc.ok) return notice("The document " + path + " is not a rich-text document.");
    return doc;
}

}  // namespace sarnel
