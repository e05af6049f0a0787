#include "console/command/ui/queuetext.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QString>
#include <QTextCursor>
#include <QTextEdit>

namespace sarnel {

namespace {

// CR LF and a lone CR become "\n", the only break a Qt text box keeps.
QString qtLines(const std::string& text) {
    std::string lines;
    lines.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            lines.push_back('\n');
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            lines.push_back(text[i]);
        }
    }
    return toQt(lines);
}

}  // namespace

QString toQt(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string fromQt(const QString& text) {
    return text.toLatin1().toStdString();
}

std::string boxText(const QPlainTextEdit* box) {
    const std::string text = fromQt(box->toPlainText());
    std::string crlf;
    crlf.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        if (c == '\n') crlf.push_back('\r');
        crlf.push_back(c);
    }
    return crlf;
}

void setBoxText(QPlainTextEdit* box, const std::string& text) {
    box->setPlainText(qtLines(text));
}

void appendBoxText(QPlainTextEdit* box, const std::string& text) {
    QTextCursor cursor(box->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(qtLines(text));
}

void clearBox(QWidget* box) {
    if (auto* line = qobject_cast<QLineEdit*>(box))
        line->clear();
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(box))
        plain->clear();
    else if (auto* rich = qobject_cast<QTextEdit*>(box))
        rich->clear();
}

}  // namespace sarnel
