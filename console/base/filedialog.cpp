#include "console/base/filedialog.h"

#include <cctype>
#include <exception>

#include "console/base/alert.h"
#include "console/base/consoleerror.h"

namespace sarnel {

namespace {

FileDialogPresenter* gPresenter = nullptr;

// Number for a presenter failure that carries no number of its own ("Internal error").
constexpr std::int32_t kInternalError = 51;

// The number a description starts with: optional blanks, an optional sign, digits with an
// optional fraction; a text of names reads as 0.
double leadingNumber(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    double sign = 1;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) sign = text[i++] == '-' ? -1 : 1;
    double value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        value = value * 10 + (text[i] - '0');
    if (i < text.size() && text[i] == '.') {
        double scale = 0.1;
        for (++i; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i, scale /= 10)
            value += (text[i] - '0') * scale;
    }
    return sign * value;
}

std::vector<std::string> split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find(separator, start);
        if (at == std::string::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, at - start));
        start = at + separator.size();
    }
}

// "/fw/app.hex" -> {"/fw", "app.hex"}; a bare name has an empty folder.
std::pair<std::string, std::string> splitPath(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {"", path};
    return {path.substr(0, slash), path.substr(slash + 1)};
}

std::string singleResult(const std::string& path) {
    const auto [folder, name] = splitPath(path);
    return path + kFileFieldSeparator + folder + kFileFieldSeparator + name;
}

// Folder, then every name, as the dialog lists a multiple choice; a file outside the first
// file's folder keeps its full path so that nothing chosen is lost.
std::string multiResult(const std::vector<std::string>& files) {
    if (files.size() == 1) {
        const auto [folder, name] = splitPath(files.front());
        return folder + kFileFieldSeparator + name;
    }
    const std::string folder = splitPath(files.front()).first;
    std::string result = folder;
    for (const std::string& file : files) {
        const auto [fileFolder, name] = splitPath(file);
        result += kFileFieldSeparator;
        result += fileFolder == folder ? name : file;
    }
    return result;
}

void reportOpenError(std::int32_t number, const std::string& description) {
    reportError("File open error", ConsoleError(number, description), 2, 0);
}

}  // namespace

void setFileDialogPresenter(FileDialogPresenter* presenter) {
    gPresenter = presenter;
}

FileDialogPresenter* fileDialogPresenter() {
    return gPresenter;
}

std::string dialogfilter(std::string& description) {
    if (description.empty() || description == "0") description = "1";
    const double value = leadingNumber(description);
    if (value == 2) return "Text Files(*.txt)|*.txt";
    if (value != 0) return "Text Files(*.txt)|*.txt|All Files(*.*)|*.*";
    const std::vector<std::string> items = split(description, ",");
    std::string filter;
    for (std::size_t i = 0; i < items.size(); i += 2) {
        const std::string& name = items[i];
        const std::string pattern = i + 1 < items.size() ? items[i + 1] : std::string();
        filter += name + "(" + pattern + ")|" + pattern + "|";
    }
    if (!filter.empty()) filter.pop_back();
    return filter;
}

std::string qtfilter(const std::string& filterText) {
    const std::vector<std::string> items = split(filterText, "|");
    std::string result;
    for (std::size_t i = 0; i < items.size(); i += 2) {
        std::string name = items[i];
        const std::string pattern = i + 1 < items.size() ? items[i + 1] : std::string();
        // The display name carries its patterns in brackets; Qt reads the patterns from the
        // brackets, so they are rebuilt from the pattern field.
        const std::size_t bracket = name.rfind('(');
        if (bracket != std::string::npos && !name.empty() && name.back() == ')') name.erase(bracket);
        while (!name.empty() && name.back() == ' ') name.pop_back();
        std::string patterns;
        for (const std::string& p : split(pattern, ";")) {
            std::string one = p;
            while (!one.empty() && one.front() == ' ') one.erase(0, 1);
            while (!one.empty() && one.back() == ' ') one.pop_back();
            if (one.empty()) continue;
            if (one == "*.*") one = "*";
            if (!patterns.empty()) patterns += ' ';
            patterns += one;
        }
        if (patterns.empty()) patterns = "*";
        if (!result.empty()) result += ";;";
        result += (name.empty() ? patterns : name) + " (" + patterns + ")";
    }
    return result;
}

std::string fileopendialog(const std::string& title, std::string& defaultName, const std::string& folder,
                           std::string& filterDescription, std::int16_t multiSelect) {
    try {
        FileDialogRequest request;
        request.title = title;
        request.folder = folder;
        request.defaultName = defaultName;
        request.filter = dialogfilter(filterDescription);
        request.multiSelect = multiSelect != 0;
        FileDialogAnswer answer = gPresenter ? gPresenter->present(request) : FileDialogAnswer::cancel();
        if (answer.cancelled || answer.files.empty()) {
            defaultName.clear();
            return "";
        }
        return request.multiSelect ? multiResult(answer.files) : singleResult(answer.files.front());
    } catch (const ConsoleError& error) {
        if (error.number() == kDialogCancelled) {
            defaultName.clear();
            return "";
        }
        reportOpenError(error.number(), error.description());
    } catch (const std::exception& error) {
        reportOpenError(kInternalError, error.what());
    }
    return "";
}

}  // namespace sarnel
