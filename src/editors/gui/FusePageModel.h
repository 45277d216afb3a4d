#pragma once
// The shown rows of a fuse map as the fuse editor's two grids show them: the
// fuse number that starts each row, and one 'X' or '-' per fuse. The page
// holds only the shown rows; nothing grows with the image.
#include "editors/FuseEditing.h"
#include "editors/gui/PageGrid.h"

namespace tesmar {

class FusePageModel : public PageGridModel {
public:
    enum class Kind { Address, Fuses };

    FusePageModel(const FusePage& page, Kind kind, QObject* parent = nullptr);

    // The page changed (also its width): every cell is redrawn.
    void pageChanged() override;

protected:
    int cellColumns() const override { return columns_; }
    QString addressText(int row) const override;
    QString cellText(int row, int col) const override;

private:
    const FusePage& page_;
    int columns_ = 0;  // the width the view was last told of
};

}  // namespace tesmar
