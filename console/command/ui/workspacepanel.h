// The script workspace of the main window: the sample catalogue, the collection Load with its
// list, the one-click check boxes, the token reference card with its value boxes, and the
// RXD/TXD data boxes. The panel holds those controls; the queue, the preset buttons and the
// output boxes belong to the main window and are reached through WorkspaceHost. What each
// action does to the queue is decided by the workspace logic (console/command/workspace.h).
//
// Controls and object names:
//   Combo1 (QComboBox), Command4 (QPushButton "Load"), Combo2 (QComboBox),
//   oneclick, oneclicktokens (QCheckBox), Label2_0 .. Label2_31 (QLabel),
//   tokenvalue_0 .. tokenvalue_3 (QLineEdit), rxdata, txdata (QPlainTextEdit).
#pragma once

#include <QWidget>
#include <array>
#include <memory>

#include "console/command/ui/workspacehost.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace sarnel {

class Workspace;

class WorkspacePanel : public QWidget {
    Q_OBJECT
public:
    // The host's widgets must exist: the panel connects to the preset buttons and installs the
    // double-click clears on the host's boxes here. The host outlives the panel.
    explicit WorkspacePanel(WorkspaceHost& host, QWidget* parent = nullptr);
    ~WorkspacePanel() override;

    QComboBox* Combo1() const { return combo1_; }
    QPushButton* Command4() const { return command4_; }
    QComboBox* Combo2() const { return combo2_; }
    QCheckBox* oneclick() const { return oneclick_; }
    QCheckBox* oneclicktokens() const { return oneclicktokens_; }
    QLabel* Label2(int index) const { return labels_.at(static_cast<std::size_t>(index)); }
    QLineEdit* tokenvalue(int index) const { return tokenvalues_.at(static_cast<std::size_t>(index)); }
    QPlainTextEdit* rxdata() const { return rxdata_; }
    QPlainTextEdit* txdata() const { return txdata_; }

    // The start-up state: first sample and first Combo2 item selected, then an empty queue.
    void selectInitialItems();

    // Click handlers, callable directly (the window's events call them too).
    void loadCollection();                 // Command4
    void presetClicked(int index);         // cmmd(0..17)
    void sampleChosen(int index);          // Combo1
    void collectionItemChosen(int index);  // Combo2
    void tokenClicked(int index);          // Label2(0..31)

    // The preset table of the last loaded collection (entries 0 to 1000).
    const Workspace& workspace() const { return *workspace_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    void connectHost();
    void setQueue(const std::string& text);
    void showCollection();
    void listClicked(int list, int index);  // list 0: Combo1, 1: Combo2

    WorkspaceHost& host_;
    std::unique_ptr<Workspace> workspace_;
    QComboBox* combo1_ = nullptr;
    QPushButton* command4_ = nullptr;
    QComboBox* combo2_ = nullptr;
    QCheckBox* oneclick_ = nullptr;
    QCheckBox* oneclicktokens_ = nullptr;
    std::array<QLabel*, 32> labels_{};
    std::array<QLineEdit*, 4> tokenvalues_{};
    QPlainTextEdit* rxdata_ = nullptr;
    QPlainTextEdit* txdata_ = nullptr;
    bool listChanged_[2] = {false, false};
};

}  // namespace sarnel
