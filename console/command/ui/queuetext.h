// The console's texts in Qt text boxes. Qt keeps line breaks as "\n"; the console's texts use
// CR LF. Bytes are ISO 8859-1 characters.
#pragma once

#include <string>

class QPlainTextEdit;
class QString;
class QWidget;

namespace sarnel {

QString toQt(const std::string& text);
std::string fromQt(const QString& text);

// The text of a box with its line breaks as CR LF.
std::string boxText(const QPlainTextEdit* box);
// Replaces the text of a box; CR LF, CR and LF all break lines.
void setBoxText(QPlainTextEdit* box, const std::string& text);
// Appends text at the very end of the box (no line break added).
void appendBoxText(QPlainTextEdit* box, const std::string& text);

// Empties a QLineEdit, QPlainTextEdit or QTextEdit (anything else is left alone).
void clearBox(QWidget* box);

}  // namespace sarnel
