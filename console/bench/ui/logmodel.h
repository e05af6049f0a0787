// The session log as a table: time, milliseconds since the entry before, direction, the raw
// frame or reply, the decoded lines. It follows the LogBook by the entries' numbers when told
// to (sync()), so a burst of replies costs the view one update, and nothing while the log
// window is closed.
#pragma once

#include <QAbstractTableModel>
#include <cstdint>

#include "console/bench/logbook.h"

namespace sarnel {

class LogModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Time, Since, Direction, Raw, Decoded, ColumnCount };

    explicit LogModel(const bench::LogBook& book, QObject* parent = nullptr);

    // Catches up with the book: rows of dropped entries go, rows of new ones come.
    void sync();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    const bench::LogBook& book_;
    std::uint64_t first_ = 0;  // the book's number of row 0
    std::uint64_t end_ = 0;    // one past the number of the last row
};

}  // namespace sarnel
