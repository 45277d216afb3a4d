#pragma once
// The "ID / Configuration" dialog: one sheet per device page, the controls of
// each page edit the configuration values in place. There is no Cancel; OK
// only closes, and the main window recomputes the checksum afterwards.
#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <array>
#include <vector>

#include "app/AppState.h"
#include "config/ConfigPages.h"
#include "config/gui/PageBinder.h"

namespace tesmar {

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
    QLabel* EntryNote;  // an entry that is not a number, an address outside the device
    // Shown on a microcontroller page whose fuse and lock bytes are not the
    // chip's (its fuse read failed, was aborted, or keeps nothing).
    QLabel* FuseNote;
    bool fusesUnknown() const { return fusesUnknown_; }
    // Page 208's seed fields as OK read them; nothing sends them.
    std::array<std::uint8_t, 2> SeedBytes{};

    QWidget* sheet(config::Sheet s) const { return sheets[std::size_t(s)]; }
    // The sheets whose tabs are shown.
    std::vector<config::Sheet> visibleSheets() const;
    PageBinder& binder() { return *binder_; }
    template <class W>
    W* control(std::string_view name) const { return binder_->get<W>(name); }

public slots:
    void BitBtn1Click();
    // Lists the block-protect ranges of the device size for the top/bottom choice.
    void RebuildBlockProtectItems();

    // Closing after the user changed the security bits (page 208, which sets
    // every bit it sends) marks the configuration as the user's. The fuse and
    // lock pages never do: their bytes are known only once read from the chip.
    void done(int result) override;

private:
    void buildUi();
    void FormCreate();
    void layOut(bool mcuPage);
    void readSeeds();
    void fitGroupTitles();
    void showFuseNote();

    AppState& st_;
    PageBinder* binder_ = nullptr;
    bool mcuPage_ = false;
    bool fusesUnknown_ = false;
    // Fuses, lock and security byte as the page showed them when it opened.
    std::array<std::uint8_t, 5> chipBytes() const;
    std::array<std::uint8_t, 5> opened_{};
};

}  // namespace tesmar
