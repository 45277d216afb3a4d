#pragma once
// The shown rows of a fuse map as the fuse editor's two grids show them: the
// fuse number that starts each row, and one 'X' or '-' per fuse. The page
// holds only the shown rows; nothing grows with the image.
#include <QAbstractTableModel>

#include "editors/FuseEditing.h"

namespace tesmar {

class FusePageModel : public QAbstractTableModel {
public:
    enum class Kind { Address, Fuses };

    FusePageModel(const FusePage& page, Kind kind, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The page changed (also its width): every cell is redrawn.
    void pageChanged();
    void cellChanged(int row, int col);

private:
    const FusePage& page_;
    Kind kind_;
    int columns_ = 0;  // the width the view was last told of
};

}  // namespace tesmar
