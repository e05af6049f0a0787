#include <com/registrar.h>

#include <cstdlib>
#include <vector>

namespace com {

namespace {

bool sameWord(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

struct Token {
    enum Kind { Word, Quoted, Open, Close, Equals, End } kind = End;
    std::string text;
    int line = 0;
};

class Lexer {
public:
    explicit Lexer(std::string_view s) : s_(s) {}

    bool next(Token& t, std::string& error) {
        while (pos_ < s_.size() &&
               (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\r' || s_[pos_] == '\n')) {
            if (s_[pos_] == '\n') ++line_;
            ++pos_;
        }
        t = Token{};
        t.line = line_;
        if (pos_ >= s_.size()) return true;
        char c = s_[pos_];
        // A brace stands alone as a block's delimiter; "{...}" run together is a name (a
        // class identifier written without quotes).
        bool alone = pos_ + 1 >= s_.size() || s_[pos_ + 1] == ' ' || s_[pos_ + 1] == '\t' ||
                     s_[pos_ + 1] == '\r' || s_[pos_ + 1] == '\n';
        if ((c == '{' && alone) || c == '}' || c == '=') {
            t.kind = c == '{' ? Token::Open : c == '}' ? Token::Close : Token::Equals;
            ++pos_;
            return true;
        }
        if (c == '\'') {
            t.kind = Token::Quoted;
            for (++pos_;; ++pos_) {
                if (pos_ >= s_.size()) {
                    error = "line " + std::to_string(t.line) + ": unterminated quoted text";
                    return false;
                }
                if (s_[pos_] == '\n') ++line_;
                if (s_[pos_] == '\'') {
                    if (pos_ + 1 < s_.size() && s_[pos_ + 1] == '\'') {
                        t.text += '\'';
                        ++pos_;
                        continue;
                    }
                    ++pos_;
                    return true;
                }
                t.text += s_[pos_];
            }
        }
        t.kind = Token::Word;
        while (pos_ < s_.size()) {
            char d = s_[pos_];
            if (d == ' ' || d == '\t' || d == '\r' || d == '\n' || d == '=' || d == '\'') break;
            t.text += d;
            ++pos_;
        }
        return true;
    }

private:
    std::string_view s_;
    std::size_t pos_ = 0;
    int line_ = 1;
};

struct Node {
    enum Rule { Normal, NoRemove, ForceRemove, Delete } rule = Normal;
    std::string name;
    std::optional<RegValue> defaultValue;
    std::vector<std::pair<std::string, RegValue>> values;
    std::vector<Node> children;
};

struct Root {
    std::string key;  // the registry's root key name
    std::vector<Node> children;
};

class Parser {
public:
    explicit Parser(std::string_view s) : lex_(s) {}

    bool parse(std::vector<Root>& roots) {
        if (!advance()) return false;
        while (tok_.kind != Token::End) {
            if (tok_.kind != Token::Word) return fail("a root key (HKCR, HKCU, HKLM) expected");
            Root r;
            if (!rootName(tok_.text, r.key)) return fail("unknown root key '" + tok_.text + "'");
            if (!advance()) return false;
            if (tok_.kind != Token::Open) return fail("'{' expected after the root key");
            if (!advance() || !body(r.children)) return false;
            roots.push_back(std::move(r));
        }
        return true;
    }

    const std::string& error() const { return error_; }

private:
    static bool rootName(const std::string& w, std::string& key) {
        if (sameWord(w, "HKCR") || sameWord(w, "HKEY_CLASSES_ROOT"))
            key = "HKCR";
        else if (sameWord(w, "HKCU") || sameWord(w, "HKEY_CURRENT_USER"))
            key = "HKCU";
        else if (sameWord(w, "HKLM") || sameWord(w, "HKEY_LOCAL_MACHINE"))
            key = "HKLM";
        else
            return false;
        return true;
    }

    bool advance() { return lex_.next(tok_, error_); }

    bool fail(const std::string& why) {
        error_ = "line " + std::to_string(tok_.line) + ": " + why;
        return false;
    }

    bool isName() const { return tok_.kind == Token::Word || tok_.kind == Token::Quoted; }

    // Items up to and including the closing brace.
    bool body(std::vector<Node>& out) {
        for (;;) {
            if (tok_.kind == Token::Close) return advance();
            if (tok_.kind == Token::End) return fail("'}' missing at the end of the script");
            if (!isName()) return fail("a key name expected");
            if (tok_.kind == Token::Word && sameWord(tok_.text, "val")) {
                if (!inKey_) return fail("a named value outside any key");
                if (!advance()) return false;
                if (!isName()) return fail("a value name expected after 'val'");
                std::string name = tok_.text;
                if (!advance()) return false;
                RegValue v;
                if (!assignment(v)) return false;
                pendingValues_->emplace_back(std::move(name), std::move(v));
                continue;
            }
            Node n;
            if (tok_.kind == Token::Word) {
                if (sameWord(tok_.text, "NoRemove"))
                    n.rule = Node::NoRemove;
                else if (sameWord(tok_.text, "ForceRemove"))
                    n.rule = Node::ForceRemove;
                else if (sameWord(tok_.text, "Delete"))
                    n.rule = Node::Delete;
                if (n.rule != Node::Normal) {
                    if (!advance()) return false;
                    if (!isName()) return fail("a key name expected after the rule");
                }
            }
            n.name = tok_.text;
            if (n.name.empty() || n.name.find('\\') != std::string::npos)
                return fail("a key name may be neither empty nor hold a backslash");
            if (!advance()) return false;
            if (tok_.kind == Token::Equals) {
                RegValue v;
                if (!assignment(v)) return false;
                n.defaultValue = std::move(v);
            }
            if (tok_.kind == Token::Open) {
                if (!advance()) return false;
                auto* savedValues = pendingValues_;
                bool savedIn = inKey_;
                pendingValues_ = &n.values;
                inKey_ = true;
                bool ok = body(n.children);
                pendingValues_ = savedValues;
                inKey_ = savedIn;
                if (!ok) return false;
            }
            out.push_back(std::move(n));
        }
    }

    // "= s 'text'" or "= d 'number'"; the current token is '='.
    bool assignment(RegValue& v) {
        if (tok_.kind != Token::Equals) return fail("'=' expected");
        if (!advance()) return false;
        if (tok_.kind != Token::Word || (!sameWord(tok_.text, "s") && !sameWord(tok_.text, "d")))
            return fail("a value type 's' or 'd' expected");
        bool number = sameWord(tok_.text, "d");
        if (!advance()) return false;
        if (tok_.kind != Token::Quoted) return fail("a quoted value expected");
        if (number) {
            const std::string& t = tok_.text;
            char* end = nullptr;
            unsigned long long n = std::strtoull(t.c_str(), &end, 0);
            if (t.empty() || *end != '\0' || t[0] == '-' || n > 0xFFFFFFFFull)
                return fail("'" + t + "' is not a 32-bit number");
            v = RegValue::number(static_cast<std::uint32_t>(n));
        } else {
            v = RegValue::string(tok_.text);
        }
        return advance();
    }

    Lexer lex_;
    Token tok_;
    std::string error_;
    std::vector<std::pair<std::string, RegValue>>* pendingValues_ = nullptr;
    bool inKey_ = false;
};

bool parseScript(std::string_view script, const Replacements& replacements, std::vector<Root>& roots,
                 std::string* error) {
    std::string expanded;
    if (!expandScript(script, replacements, expanded, error)) return false;
    Parser p(expanded);
    if (!p.parse(roots)) {
        if (error) *error = p.error();
        return false;
    }
    return true;
}

void applyNode(Registry& r, const std::string& parent, const Node& n) {
    std::string path = parent + '\\' + n.name;
    if (n.rule == Node::Delete) {
        r.deleteTree(path);
        return;
    }
    if (n.rule == Node::ForceRemove) r.deleteTree(path);
    r.createKey(path);
    if (n.defaultValue) r.setValue(path, "", *n.defaultValue);
    for (const auto& [name, v] : n.values) r.setValue(path, name, v);
    for (const Node& c : n.children) applyNode(r, path, c);
}

void removeNode(Registry& r, const std::string& parent, const Node& n) {
    std::string path = parent + '\\' + n.name;
    if (n.rule == Node::Delete || !r.hasKey(path)) return;
    if (n.rule == Node::ForceRemove) {
        r.deleteTree(path);
        return;
    }
    for (const Node& c : n.children) removeNode(r, path, c);
    if (n.rule == Node::NoRemove) return;
    // What others added to a shared key stays, and with it the key.
    if (n.defaultValue) r.deleteValue(path, "");
    for (const auto& e : n.values) r.deleteValue(path, e.first);
    if (r.valueNames(path).empty()) r.deleteKey(path);
}

}  // namespace

bool expandScript(std::string_view script, const Replacements& replacements, std::string& out,
                  std::string* error) {
    out.clear();
    int line = 1;
    for (std::size_t i = 0; i < script.size(); ++i) {
        char c = script[i];
        if (c == '\n') ++line;
        if (c != '%') {
            out += c;
            continue;
        }
        std::size_t close = script.find('%', i + 1);
        if (close == std::string_view::npos) {
            if (error) *error = "line " + std::to_string(line) + ": unclosed %";
            return false;
        }
        std::string name(script.substr(i + 1, close - i - 1));
        i = close;
        if (name.empty()) {
            out += '%';
            continue;
        }
        auto it = replacements.find(name);
        if (it == replacements.end()) {
            if (error) *error = "line " + std::to_string(line) + ": no value for %" + name + "%";
            return false;
        }
        for (char v : it->second) {
            if (v == '\'') out += '\'';
            out += v;
        }
    }
    return true;
}

bool checkScript(std::string_view script, const Replacements& replacements, std::string* error) {
    std::vector<Root> roots;
    return parseScript(script, replacements, roots, error);
}

HRESULT applyScript(Registry& registry, std::string_view script, const Replacements& replacements,
                    std::string* error) {
    std::vector<Root> roots;
    if (!parseScript(script, replacements, roots, error)) return SELFREG_E_CLASS;
    for (const Root& root : roots)
        for (const Node& n : root.children) applyNode(registry, root.key, n);
    return S_OK;
}

HRESULT removeScript(Registry& registry, std::string_view script, const Replacements& replacements,
                     std::string* error) {
    std::vector<Root> roots;
    if (!parseScript(script, replacements, roots, error)) return SELFREG_E_CLASS;
    for (const Root& root : roots)
        for (const Node& n : root.children) removeNode(registry, root.key, n);
    return S_OK;
}

}  // namespace com
