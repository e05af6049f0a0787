#include "console/bootloader/textbootview.h"

namespace sarnel::boot {

TextBootView::TextBootView() {
    for (Field f : {Field::blockswritten, Field::highrompointers, Field::highromblocks, Field::commentlines,
                    Field::eofrecords, Field::dataerrors})
        setText(f, "0");
    setText(Field::programtime, "---");
    setText(Field::responsecode, "-");
    setText(Field::responsedecode, "-");
}

std::string TextBootView::text(Field field) {
    return fields_[static_cast<std::size_t>(field)];
}

void TextBootView::setText(Field field, const std::string& value) {
    fields_[static_cast<std::size_t>(field)] = value;
}

std::string TextBootView::errorList() {
    std::string all;
    for (std::size_t i = 0; i < errors_.size(); ++i) {
        if (i) all += "\r\n";
        all += errors_[i];
    }
    return all;
}

void TextBootView::setErrorList(const std::string& value) {
    errors_.clear();
    if (value.empty()) return;
    // Kept as lines; a log set as a whole reads back as it was set.
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = value.find("\r\n", start);
        errors_.push_back(value.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 2;
    }
}

void TextBootView::prependError(const std::string& line) {
    // "line CR LF previous": on an empty log that leaves a trailing empty line.
    if (errors_.empty()) errors_.push_back("");
    errors_.push_front(line);
}

}  // namespace sarnel::boot
