#pragma once
// The PIC "ID / Configuration" dialog: the ID locations and the
// configuration words of a PIC, edited in place in the image. The sheets
// shown come from the device's page code; there is no Cancel, OK only
// closes, and the main window recomputes the checksum afterwards.
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <array>
#include <vector>

#include "app/AppState.h"
#include "config/PicPages.h"
#include "config/gui/PageBinder.h"

namespace tesmar {

class TfrmPicConfig : public QDialog {
    Q_OBJECT
public:
    // Opens on the selected device (st.dev(), a 'C' record).
    explicit TfrmPicConfig(AppState& st, QWidget* parent = nullptr);

    QTabWidget* PageControl;
    std::array<QWidget*, config::kPicSheetCount> sheets{};
    QGroupBox* GB_ID;
    QGroupBox* GB_18F;
    std::array<QLineEdit*, 4> idEdits{};     // ID_0, ID1, ID2, ID3
    std::array<QLineEdit*, 8> pic18Edits{};  // ID270 .. ID277
    std::array<QLabel*, config::kPicHexLabels> hexLabels{};  // Label13 .. Label26
    QLabel* LayoutNote;  // why the record gets no sheet or no masks
    QLabel* EntryNote;   // an ID entry that is not a number
    QPushButton* BitBtn1;

    QWidget* sheet(config::PicSheet s) const { return sheets[std::size_t(s)]; }
    // The sheets whose tabs are shown.
    std::vector<config::PicSheet> visibleSheets() const;
    PageBinder& binder() { return *binder_; }
    template <class W>
    W* control(std::string_view name) const { return binder_->get<W>(name); }

public slots:
    void BitBtn1Click();
    // Which ID group the sheet now active shows.
    void PageControlChange(int index);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildUi();
    void FormCreate();
    void fitCaptions();

    AppState& st_;
    PageBinder* binder_ = nullptr;
    bool idsUsable_ = false;
    std::vector<int> shown_;  // the sheets of the set shown
};

}  // namespace tesmar
