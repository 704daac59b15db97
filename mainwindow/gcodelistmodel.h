#pragma once
// The line list's rows: one G-code line each, held as plain strings so a million-line file is
// shown without a widget item per line. A conversion reads the same lines (shared()) instead
// of a copy of them; an edit while one holds them copies them first.

#include <QAbstractListModel>

#include <memory>

#include <string>
#include <vector>

namespace mvx {

class GCodeListModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(mLines->size());
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= static_cast<int>(mLines->size())) return {};
        if (role == Qt::DisplayRole) return QString::fromStdString((*mLines)[static_cast<std::size_t>(index.row())]);
        return {};
    }

    const std::vector<std::string>& lines() const noexcept { return *mLines; }
    // The lines as they are now; later edits leave them as they are.
    std::shared_ptr<const std::vector<std::string>> shared() const noexcept { return mLines; }
    void setLines(std::vector<std::string> lines)
    {
        beginResetModel();
        mLines = std::make_shared<std::vector<std::string>>(std::move(lines));
        endResetModel();
    }
    void insertLine(int row, std::string line)
    {
        row = std::clamp(row, 0, static_cast<int>(mLines->size()));
        beginInsertRows({}, row, row);
        std::vector<std::string>& l = own();
        l.insert(l.begin() + row, std::move(line));
        endInsertRows();
    }
    void setLine(int row, std::string line)
    {
        if (row < 0 || row >= static_cast<int>(mLines->size())) return;
        own()[static_cast<std::size_t>(row)] = std::move(line);
        emit dataChanged(index(row), index(row));
    }
    void removeLine(int row)
    {
        if (row < 0 || row >= static_cast<int>(mLines->size())) return;
        beginRemoveRows({}, row, row);
        std::vector<std::string>& l = own();
        l.erase(l.begin() + row);
        endRemoveRows();
    }

private:
    // The lines to change: copied first while someone else still reads them.
    std::vector<std::string>& own()
    {
        if (mLines.use_count() > 1) mLines = std::make_shared<std::vector<std::string>>(*mLines);
        return *mLines;
    }
    std::shared_ptr<std::vector<std::string>> mLines = std::make_shared<std::vector<std::string>>();
};

}  // namespace mvx
