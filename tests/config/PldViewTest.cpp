// The PLD user-fuse view: a loaded JEDEC file's user row and configuration
// fuses through the main window's Config button, and which fuses each row
// shows for parts of other geometries.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "../families/PldRig.h"
#include "config/gui/TgalConfig.h"
#include "fileformats/LoadSave.h"
#include "support/MainWindowRig.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

QString rowText(const QTableWidget* g) {
    QString s;
    for (int c = 0; c < g->columnCount(); ++c) s += g->item(0, c)->text();
    return s;
}

// A line of '1'/'0' fuse digits as the view shows it.
QString shown(const QByteArray& digits) {
    QString s;
    for (char d : digits) s += d == '1' ? '-' : 'X';
    return s;
}

class PldViewWindowTest : public MainWindowRig {};

}  // namespace

// A GAL16V8 file written by hand: the user row is the 64 UES fuses from 2056,
// the configuration row the 8 fuses before the UES and the 74 after it.
TEST_F(PldViewWindowTest, ShowsTheUserAndConfigurationFusesOfALoadedFile) {
    const auto found = findDevice(4, "GAL16V8");
    ASSERT_TRUE(found);
    select(found->place);
    const QByteArray before = "10110010";
    const QByteArray ues = "1000001001000010" "0000000000000000" "1111111100000000" "0101010110101010";
    const QByteArray after = "00011" + QByteArray(64, '1') + "01101";
    const QByteArray file = "\x02GAL16V8*QP20*QF2194*F0*L02048 " + before + "*N UES \"AB\"*L02056 " + ues +
                            "*L02120 " + after + "*\x03";
    QTemporaryDir dir;
    ASSERT_TRUE(writeFile(dir.filePath("ues.jed"), file));
    st().file.FileFormat = 5;
    LoadFile(st(), dir.filePath("ues.jed"));
    ASSERT_EQ(st().ErrorFlag.get(), 0) << w().memoLines().join('|').toStdString();
    const Bytes image(st().buf.DeviceBuffer.begin(), st().buf.DeviceBuffer.end());

    bool opened = false;
    onNextModal(
        [&](QWidget* dlg) {
            opened = true;
            auto& v = *static_cast<TgalConfig*>(dlg);
            EXPECT_EQ(v.windowTitle(), "PLD User Fuses & PTD/CONFIG");
            EXPECT_FALSE(v.UserGrid->isHidden());
            EXPECT_TRUE(v.BtSave->isHidden());
            EXPECT_EQ(rowText(v.UserGrid), shown(ues));
            EXPECT_EQ(rowText(v.PTDGrid), shown(before + after));
            QTest::mouseClick(v.BtCan, Qt::LeftButton);
        },
        "tesmar::TgalConfig");
    ASSERT_TRUE(w().SB_Config->isEnabled());
    w().SB_Config->click();
    EXPECT_TRUE(opened);
    EXPECT_EQ(Bytes(st().buf.DeviceBuffer.begin(), st().buf.DeviceBuffer.end()), image);
}

// Fuse ranges of each row for other geometries: the user row is a whole
// device row from the first UES fuse; the configuration row runs on from
// its smallest fuse, over the UES block where it meets it. Parts without a
// user row hide it.
TEST(PldView, RowsFollowTheGeometry) {
    using Ranges = std::vector<std::pair<int, int>>;
    struct Case {
        const char* maker;
        const char* name;
        Ranges user;  // empty: hidden
        Ranges config;
    };
    const Case cases[] = {
        {"Latvane", "GAL18V10", {{3476, 3571}}, {{3456, 3475}}},
        {"Latvane", "GAL20V8", {{2568, 2631}}, {{2560, 2567}, {2632, 2705}}},
        {"Latvane", "GAL20XV10", {{1631, 1670}}, {{1600, 1630}}},
        {"Latvane", "GAL6002", {{8258, 8332}}, {{8154, 8257}}},
        {"Atrion", "ATF22V10C", {}, {{5808, 5827}}},
        {"Sotek", "PAL16L8", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PldRig r(samplePld(c.maker, c.name).rec);
        const Bytes noise = pattern(r.st.buf.size(), 7);
        for (std::size_t i = 0; i < noise.size(); ++i) r.st.buf.DeviceBuffer[i] = noise[i] & 1;
        const auto expected = [&](const Ranges& ranges) {
            QString s;
            for (auto [a, b] : ranges)
                for (int f = a; f <= b; ++f) s += noise[std::size_t(f)] & 1 ? '-' : 'X';
            return s;
        };
        TgalConfig v(r.st);
        EXPECT_EQ(v.UserGrid->isHidden(), c.user.empty());
        EXPECT_EQ(v.Label1->isHidden(), c.user.empty());
        if (!c.user.empty()) {
            EXPECT_EQ(rowText(v.UserGrid), expected(c.user));
        }
        EXPECT_EQ(rowText(v.PTDGrid), expected(c.config));
    }
}
