#pragma once
// The line list's rows: one G-code line each, held as plain strings so a million-line file is
// shown without a widget item per line.

#include <QAbstractListModel>

#include <string>
#include <vector>

namespace mvx {

class GCodeListModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(mLines.size());
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= static_cast<int>(mLines.size())) return {};
        if (role == Qt::DisplayRole) return QString::fromStdString(mLines[static_cast<std::size_t>(index.row())]);
        return {};
    }

    const std::vector<std::string>& lines() const noexcept { return mLines; }
    void setLines(std::vector<std::string> lines)
    {
        beginResetModel();
        mLines = std::move(lines);
        endResetModel();
    }
    void insertLine(int row, std::string line)
    {
        row = std::clamp(row, 0, static_cast<int>(mLines.size()));
        beginInsertRows({}, row, row);
        mLines.insert(mLines.begin() + row, std::move(line));
        endInsertRows();
    }
    void setLine(int row, std::string line)
    {
        if (row < 0 || row >= static_cast<int>(mLines.size())) return;
        mLines[static_cast<std::size_t>(row)] = std::move(line);
        emit dataChanged(index(row), index(row));
    }
    void removeLine(int row)
    {
        if (row < 0 || row >= static_cast<int>(mLines.size())) return;
        beginRemoveRows({}, row, row);
        mLines.erase(mLines.begin() + row);
        endRemoveRows();
    }

private:
    std::vector<std::string> mLines;
};

}  // namespace mvx
