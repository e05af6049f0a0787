#include <com/text.h>

namespace com {

std::u16string widen(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (char c : bytes) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return out;
}

std::string narrow(std::u16string_view text, bool* lossy) {
    std::string out;
    out.reserve(text.size());
    bool lost = false;
    for (char16_t c : text) {
        if (c > 0xFF) {
            out.push_back('?');
            lost = true;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    if (lossy) *lossy = lost;
    return out;
}

}  // namespace com
