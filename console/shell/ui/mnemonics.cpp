#include "console/shell/ui/mnemonics.h"

#include <QPushButton>

#include "console/shell/ui/mainwindow.h"

namespace sarnel {

namespace {

struct Mnemonic {
    const char* name;     // the button's object name
    const char* caption;  // its caption with the marker
};

// Letters: i p h l o f s a e v r u t c n. "Workbench" (w) is the menu button's own, and the
// workspace's buttons keep theirs.
constexpr Mnemonic kMnemonics[] = {
    {"cmmd_18", "P&ing"},      {"cmmd_19", "&H>L"},
    {"cmmd_20", "&L>H"},       {"cmmd_21", "&On"},
    {"cmmd_22", "O&ff"},       {"cmmd_23", "&Slow"},
    {"cmmd_24", "F&ast"},      {"cmmd_25", "R&eset?"},
    {"cmmd_26", "Sa&ve Last"}, {"cmmd_27", "&Run Saved"},
    {"cmmd_28", "&Update"},    {"cmmd_29", "Rese&t!"},
    {"cmmd_30", "Res&can"},    {"cmmd_255", "Co&mpile/Transmit"},
    {"Command5_1", "Hel&p"},   {"Command5_2", "Versio&n"},
};

}  // namespace

void addmnemonics(MainWindow& window) {
    for (const Mnemonic& m : kMnemonics) {
        auto* button = window.findChild<QPushButton*>(m.name);
        if (!button) continue;
        // Only where the caption is still the one the marker belongs to.
        QString plain = QString::fromLatin1(m.caption);
        plain.remove(QLatin1Char('&'));
        if (button->text() == plain) button->setText(QString::fromLatin1(m.caption));
    }
}

}  // namespace sarnel
