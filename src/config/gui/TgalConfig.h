#pragma once
// The PLD user-fuse view: the user-signature row and the configuration
// fuses of the fuse map, read-only, one 'X' (intact) or '-' (blank) cell
// per fuse.
#include <QDialog>

#include "app/AppState.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace tesmar {

class TgalConfig : public QDialog {
    Q_OBJECT
public:
    explicit TgalConfig(AppState& st, QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;
    QTableWidget* UserGrid = nullptr;
    QLabel* Label2 = nullptr;
    QTableWidget* PTDGrid = nullptr;
    QPushButton* BtSave = nullptr;
    QPushButton* BtCan = nullptr;

public slots:
    void BtSaveClick();
    void BtCanClick();

private:
    void FormCreate();
    QTableWidget* makeGrid(const char* name);
    void fillGrid(QTableWidget* grid, const std::vector<std::uint32_t>& fuses);

    AppState& st_;
};

}  // namespace tesmar
