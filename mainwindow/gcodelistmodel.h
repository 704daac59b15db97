#pragma once
// The line list's rows: one G-code line each, held in one text so a million-line file is shown
// without a widget item, or even a string, per line. A conversion reads the same lines (shared()) instead
// of a copy of them; an edit while one holds them copies them first.

#include <QAbstractListModel>

#include "translator/gcodelines.h"

#include <algorithm>
#include <memory>
#include <string>

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
        if (role == Qt::DisplayRole) {
            const std::string_view line = (*mLines)[static_cast<std::size_t>(index.row())];
            return QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
        }
        return {};
    }

    const gcode::LineList& lines() const noexcept { return *mLines; }
    // The lines as they are now; later edits leave them as they are.
    std::shared_ptr<const gcode::LineList> shared() const noexcept { return mLines; }
    void setLines(gcode::LineList lines)
    {
        beginResetModel();
        mLines = std::make_shared<gcode::LineList>(std::move(lines));
        endResetModel();
    }
    void insertLine(int row, std::string_view line)
    {
        row = std::clamp(row, 0, static_cast<int>(mLines->size()));
        beginInsertRows({}, row, row);
        own().insert(static_cast<std::size_t>(row), line);
        endInsertRows();
    }
    void setLine(int row, std::string_view line)
    {
        if (row < 0 || row >= static_cast<int>(mLines->size())) return;
        own().replace(static_cast<std::size_t>(row), line);
        emit dataChanged(index(row), index(row));
    }
    void removeLine(int row)
    {
        if (row < 0 || row >= static_cast<int>(mLines->size())) return;
        beginRemoveRows({}, row, row);
        own().erase(static_cast<std::size_t>(row));
        endRemoveRows();
    }

private:
    // The lines to change: copied first while someone else still reads them.
    gcode::LineList& own()
    {
        if (mLines.use_count() > 1) mLines = std::make_shared<gcode::LineList>(*mLines);
        return *mLines;
    }
    std::shared_ptr<gcode::LineList> mLines = std::make_shared<gcode::LineList>();
};

}  // namespace mvx
