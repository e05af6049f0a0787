// Texts cross component interfaces as UTF-16 and travel on serial lines as bytes. The code
// page between them is ISO 8859-1: byte b is the character of code b and back, so every byte
// survives a round trip.
#pragma once

#include <string>
#include <string_view>

namespace com {

std::u16string widen(std::string_view bytes);
// Characters above 255 have no byte; they become '?' and set *lossy when it is given.
std::string narrow(std::u16string_view text, bool* lossy = nullptr);

}  // namespace com
