#pragma once
// The PIC configuration dialog on the offscreen platform, opened on a device
// whose image was sized and erased as a selection does it.
#include <QCheckBox>
#include <QFontDatabase>
#include <QSignalBlocker>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "config/gui/TfrmPicConfig.h"
#include "devices/BufferLayout.h"
#include "support/MainWindowRig.h"
#include "support/RecordImage.h"

namespace tesmar::test {

// Where the image keeps the configuration and ID bytes of each layout.
inline std::size_t configAt(const DeviceRecord& d, int k) {
    if (d.Algorithm == 18) return 0xF0010 + std::size_t(k);
    return (d.PageCode >= 46 ? 0x1000E : 0x400E) + std::size_t(k);
}
inline std::size_t idLowByteAt(const DeviceRecord& d, int n) {
    return (d.PageCode >= 46 ? 0x10001 : 0x4001) + 2 * std::size_t(n);
}

// The low bits of `source` spread over the set bits of `mask`, lowest first.
inline std::uint8_t deposit(unsigned source, std::uint8_t mask) {
    std::uint8_t out = 0;
    for (int bit = 0; bit < 8; ++bit)
        if (mask & (1u << bit)) {
            if (source & 1u) out |= std::uint8_t(1u << bit);
            source >>= 1;
        }
    return out;
}

// Every PIC record of the sample data.
inline std::vector<DeviceRecord> samplePics() {
    return sampleRecords("zrvusb_m.usb", [](const DeviceRecord& r) { return r.FamilyLetter == 'C'; });
}

class PicConfigRig : public ::testing::Test {
protected:
    void select(const DeviceRecord& rec) {
        st.CurrentDevice = std::make_shared<const DeviceRecord>(rec);
        allocateForSelection(st.buf, rec);
        prefillErased(st.buf, rec);
        if (rec.isPic18()) SetPic18DefaultConfig(st.buf, rec);
    }
    // Opened as the main window opens it, in the main window's font (or another).
    TfrmPicConfig& open() { return open(QFontDatabase::systemFont(QFontDatabase::FixedFont)); }
    TfrmPicConfig& open(const QFont& font) {
        dlg.reset();
        owner.setFont(font);
        dlg = std::make_unique<TfrmPicConfig>(st, &owner);
        dlg->show();
        return *dlg;
    }
    void ok() {
        QTest::mouseClick(dlg->BitBtn1, Qt::LeftButton);
        ASSERT_EQ(dlg->result(), QDialog::Accepted);
    }
    const DeviceRecord& dev() const { return *st.dev(); }
    // Whether a control shows when its sheet is the active one.
    bool shown(const char* name) const {
        QWidget* w = dlg->control<QWidget>(name);
        for (QWidget* sheet : dlg->sheets)
            if (sheet->isAncestorOf(w)) return w->isVisibleTo(sheet);
        return w->isVisibleTo(dlg.get());
    }
    std::uint8_t& cfg(int k) { return st.buf.DeviceBuffer.at(configAt(dev(), k)); }
    template <class W>
    W* control(const char* name) {
        W* w = dlg->control<W>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    // Puts a control in `state` so that its row runs: a check box from the
    // other state, a shown radio group from no item. Returns the group (nullptr
    // for a check box).
    RadioGroup* setState(const char* name, int state) {
        if (auto* box = dlg->control<QCheckBox>(name)) {
            {
                const QSignalBlocker quiet(box);
                box->setChecked(!state);
            }
            box->setChecked(state != 0);
            return nullptr;
        }
        auto* group = control<RadioGroup>(name);
        EXPECT_TRUE(group && shown(name)) << name;
        if (!group) return nullptr;
        EXPECT_NE(group->button(state), nullptr) << name;
        group->setItemIndex(-1);
        group->setItemIndex(state);
        return group;
    }

    AppState st;
    QWidget owner;
    std::unique_ptr<TfrmPicConfig> dlg;
};

}  // namespace tesmar::test
