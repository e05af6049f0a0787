#include "console/bench/ui/logmodel.h"

#include <algorithm>

namespace sarnel {

namespace {

QString latin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

LogModel::LogModel(const bench::LogBook& book, QObject* parent) : QAbstractTableModel(parent), book_(book) {
    first_ = end_ = book_.firstnumber();
    sync();
}

void LogModel::sync() {
    const std::uint64_t first = book_.firstnumber();
    const std::uint64_t end = book_.endnumber();
    if (end < end_ || first < first_) {
        // The book was cleared (numbers never go back otherwise): start again.
        beginResetModel();
        first_ = first;
        end_ = end;
        endResetModel();
        return;
    }
    if (first > first_ && end_ > first_) {
        const std::uint64_t gone = std::min(first, end_) - first_;
        beginRemoveRows(QModelIndex(), 0, static_cast<int>(gone) - 1);
        first_ += gone;
        endRemoveRows();
    }
    if (first_ < first) first_ = end_ = first;  // every row shown was dropped
    if (end > end_) {
        beginInsertRows(QModelIndex(), static_cast<int>(end_ - first_), static_cast<int>(end - first_) - 1);
        end_ = end;
        endInsertRows();
    }
}

int LogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(end_ - first_);
}

int LogModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant LogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return {};
    // Rows are entries first_ + row; the book may have dropped some since the last sync.
    const std::uint64_t number = first_ + static_cast<std::uint64_t>(index.row());
    if (number < book_.firstnumber() || number >= book_.endnumber()) return {};
    const bench::LogEntry& e = book_.at(static_cast<std::size_t>(number - book_.firstnumber()));
    switch (index.column()) {
        case Time: {
            std::string t = bench::isotime(e.at);
            if (role == Qt::DisplayRole && t.size() > 26) t = t.substr(11, 15);  // HH:MM:SS.uuuuuu
            return latin1(t);
        }
        case Since:
            return QString::number(static_cast<double>(e.sincePrevious.count()) / 1000.0, 'f', 3);
        case Direction:
            return QString::fromLatin1(bench::directionname(e.direction));
        case Raw:
            return latin1(e.raw);
        case Decoded: {
            QString lines = latin1(e.lines);
            lines.remove(QLatin1Char('\r'));
            if (lines.endsWith(QLatin1Char('\n'))) lines.chop(1);
            // One line in the table; the tooltip has them all.
            if (role == Qt::DisplayRole) lines.replace(QLatin1Char('\n'), QStringLiteral("  |  "));
            return lines;
        }
        default:
            return {};
    }
}

QVariant LogModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return QString::number(first_ + static_cast<std::uint64_t>(section) + 1);
    switch (section) {
        case Time:
            return QStringLiteral("Time");
        case Since:
            return QStringLiteral("+ms");
        case Direction:
            return QStringLiteral("Direction");
        case Raw:
            return QStringLiteral("Raw");
        case Decoded:
            return QStringLiteral("Decoded");
        default:
            return {};
    }
}

}  // namespace sarnel
