#pragma once
// The "ID / Configuration" dialog: one sheet per device page, the controls of
// each page edit the configuration values in place. There is no Cancel; OK
// only closes, and the main window recomputes the checksum afterwards.
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QTabWidget>
#include <array>
#include <map>
#include <string>

#include "app/AppState.h"
#include "config/ConfigPages.h"

namespace tesmar {

// A framed list of mutually exclusive items with one index, like a radio
// group of the form designer. itemIndexChanged fires whenever the index
// changes, from a click or from code, but not when the items are cleared.
class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(const QString& caption, QWidget* parent = nullptr);

    void setItems(const QStringList& items);  // replaces the items; no item selected
    QStringList items() const;
    int count() const { return int(buttons_.size()); }
    int itemIndex() const { return index_; }
    void setItemIndex(int index);  // -1 or out of range: no item selected
    QRadioButton* button(int index) const;

signals:
    void itemIndexChanged(int index);

private:
    void buttonToggled(int id, bool checked);

    QButtonGroup group_;
    std::vector<QRadioButton*> buttons_;
    int index_ = -1;
};

class TfrmConfig : public QDialog {
    Q_OBJECT
public:
    // Shows the page of the selected device (st.dev(), which must be set).
    explicit TfrmConfig(AppState& st, QWidget* parent = nullptr);

    QTabWidget* PageControl1;
    std::array<QWidget*, config::kSheetCount> sheets{};
    QWidget *Page100, *Page130, *Page200, *Page201, *Page202, *Page203, *Page204, *Page204A, *Page205, *Page206,
        *Page207, *Page208, *Page209, *Page212, *Page102;
    QPushButton* BitBtn1;
    QGroupBox* GB100_Wpen;
    QCheckBox* CB100_Wpen;
    RadioGroup* RG100;
    RadioGroup* RG102_BP;
    RadioGroup* RG102_TB;
    QCheckBox* CB102_SRP;
    RadioGroup* RG130;

    QWidget* sheet(config::Sheet s) const { return sheets[std::size_t(s)]; }
    // The sheets whose tabs are shown.
    std::vector<config::Sheet> visibleSheets() const;

public slots:
    void BitBtn1Click();
    // Lists the block-protect ranges of the device size for the top/bottom choice.
    void RebuildBlockProtectItems();

private:
    void buildUi();
    void FormCreate();
    void showControls(config::Sheet sheet);
    // The generic binder: a click on a control of the table writes its global
    // (a check box passes 0/1, a radio group its item index), then its rule runs.
    void controlClick(const config::ControlRow& row, int state);
    void blockProtectClick(int index);
    std::uint8_t& global(const config::ControlRow& row) { return config::configGlobal(st_.mcu, row.global); }

    AppState& st_;
    std::map<std::string, QWidget*> controls_;
};

}  // namespace tesmar
