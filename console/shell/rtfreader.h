// A small reader for the rich-text help documents: turns RTF into the HTML subset that a Qt
// text view shows. It knows paragraphs, line breaks, tabs, bold, italic, underline, font
// sizes, alignment, hexadecimal and Unicode escapes and the common typographic symbols; it
// skips font, colour and style tables, pictures, document information and every ignorable
// destination. Anything it does not know is passed over, never an error.
#pragma once

#include <string>

namespace sarnel {

struct RtfDocument {
    bool ok = false;    // false when the text is not RTF at all
    std::string html;   // the document as HTML, UTF-8
    std::string plain;  // its text alone, paragraphs separated by "\n", UTF-8
};

// Reads `rtf` (bytes as stored; \'hh escapes are Windows-1252 where that differs from
// ISO 8859-1). A text that does not begin with "{\rtf" gives ok = false and empty texts.
RtfDocument readrtf(const std::string& rtf);

// Reads the file; a missing or unreadable file, or one that is not RTF, gives a document of
// one line saying so (with ok = false).
RtfDocument readrtffile(const std::string& path);

}  // namespace sarnel
