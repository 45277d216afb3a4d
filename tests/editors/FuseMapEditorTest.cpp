// The PLD fuse-map editor driven with real keys and clicks: fuses retyped
// through the main window's Edit button, the main window's checksum label
// against a hand-written JEDEC file of the same map, the grid for parts of
// different geometry, and parts without any geometry.
#include <gtest/gtest.h>

#include <QLabel>
#include <QScrollBar>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>

#include "../families/PldRig.h"
#include "config/gui/TgalConfig.h"
#include "editors/EditorRig.h"
#include "editors/gui/TFuseEditor.h"
#include "fileformats/LoadSave.h"
#include "support/MainWindowRig.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

class FuseEditorWindowTest : public MainWindowRig {};

// The fuse map and what follows it up to 64 KiB (a load may size the image anew).
Bytes imageOf(const AppState& st) { return Bytes(st.buf.DeviceBuffer.begin(), st.buf.DeviceBuffer.begin() + 0x10000); }

}  // namespace

// A GAL16V8 (2194 fuses, all blank after the selection: checksum 0x10F1).
// 'x', 'X' and '-' retype fuses, '0' and '1' enter nothing; CheckL follows
// every key, and ends on the checksum a hand-written file of the edited map
// carries. The editor's view stays its own: the image's view size is kept.
TEST_F(FuseEditorWindowTest, RetypedFusesReachTheImageAndCheckLFollows) {
    const auto found = findDevice(4, "GAL16V8");
    ASSERT_TRUE(found);
    select(found->place);
    ASSERT_TRUE(w().SB_Edit->isEnabled());
    EXPECT_TRUE(w().SB_Config->isEnabled());
    EXPECT_EQ(w().CheckL->text(), "0x10F1");
    const std::uint32_t view = st().buf.BufferViewSize;

    bool opened = false;
    QString afterFirstX;
    onNextModal(
        [&](QWidget* dlg) {
            opened = true;
            auto& ed = *static_cast<TFuseEditor*>(dlg);
            EXPECT_EQ(ed.windowTitle(), "Fuse Editor");
            EXPECT_TRUE(ed.Fill->isHidden());
            clickCell(ed.StringGrid3, 0, 0);
            QTest::keyClick(ed.StringGrid3, 'x');  // fuse 0, weight 1
            afterFirstX = w().CheckL->text();
            EXPECT_EQ(cellText(ed.StringGrid3, 0, 0), "X");
            EXPECT_EQ(ed.selectedCol(), 1);
            QTest::keyClicks(ed.StringGrid3, "01");
            EXPECT_EQ(ed.selectedCol(), 1);
            clickCell(ed.StringGrid3, 1, 1);
            QTest::keyClick(ed.StringGrid3, 'X');  // fuse 33, weight 2
            clickCell(ed.StringGrid3, 0, 0);
            QTest::keyClick(ed.StringGrid3, '-');  // fuse 0 blank again
            EXPECT_EQ(cellText(ed.StringGrid3, 0, 0), "-");
            EXPECT_EQ(cellText(ed.StringGrid3, 1, 1), "X");
            QTest::mouseClick(ed.BitBtn1, Qt::LeftButton);
        },
        "tesmar::TFuseEditor");
    w().SB_Edit->click();
    ASSERT_TRUE(opened);
    EXPECT_EQ(afterFirstX, "0x10F0");
    EXPECT_EQ(st().buf.BufferViewSize, view);
    Bytes want(0x10000, 1);
    want[33] = 0;
    const Bytes edited = imageOf(st());
    EXPECT_EQ(edited, want);

    // The same map by hand: fuse 33 intact, every other fuse blank.
    const QByteArray file = "\x02GAL16V8*QP20*QF2194*F1*L00033 0*C10EF*\x03";
    EXPECT_EQ(w().CheckL->text(), "0x" + QString::fromLatin1(file.mid(file.indexOf("*C") + 2, 4)));
    QTemporaryDir dir;
    ASSERT_TRUE(writeFile(dir.filePath("hand.jed"), file));
    st().file.FileFormat = 5;
    LoadFile(st(), dir.filePath("hand.jed"));
    EXPECT_EQ(st().ErrorFlag.get(), 0) << w().memoLines().join('|').toStdString();
    EXPECT_EQ(imageOf(st()), edited);
}

// A part whose algorithm names no fuse geometry: Edit and Config print the
// ID-error line and open nothing; the windows themselves stay empty.
TEST_F(FuseEditorWindowTest, PartWithoutGeometryIsRefused) {
    // A window that should not open is closed again, and noted.
    bool opened = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&opened] {
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            opened = true;
            d->accept();
        }
    });
    closer.start(5);
    for (std::int8_t alg : {0, 17, 22, -3}) {
        SCOPED_TRACE(int(alg));
        st().CurrentDevice = RecordImage('P').algorithm(alg).lastAddress(2193).buttons(kAllButtons).shared();
        clearLogs();
        w().SB_EditClick();
        w().SB_ConfigClick();
        QTest::qWait(20);
        EXPECT_FALSE(opened);
        EXPECT_EQ(w().memoLines().count(" ID Error  Device "), 2);

        TFuseEditor ed(st());
        EXPECT_EQ(ed.view().rows, 0u);
        EXPECT_EQ(ed.ScrollBar1->maximum(), 0);
        QTest::keyClick(ed.StringGrid3, Qt::Key_PageDown);
        QTest::keyClick(ed.StringGrid3, 'x');
        TgalConfig view(st());
        EXPECT_EQ(view.PTDGrid->columnCount(), 0);
        EXPECT_TRUE(view.UserGrid->isHidden());
    }
}

// The grid for parts of three geometries (device rows x bits per row): one
// grid row per JEDEC line of rows fuses, bits-per-row grid rows. Paging and
// scrolling stop at the last array row: the last cell is the last array fuse
// and the fuse after it (a configuration fuse) is never shown or written.
TEST(FuseEditor, GridAndPagingFollowTheGeometry) {
    struct Case {
        const char* maker;
        const char* name;
        std::uint32_t columns, rows;
        std::vector<std::uint32_t> pageDownTops;
    };
    const Case cases[] = {
        {"Latvane", "GAL16V8", 32, 64, {16, 32, 48, 48}},
        {"Latvane", "GAL20XV10", 40, 40, {16, 16}},
        {"Latvane", "GAL6001", 78, 75, {16, 32, 48, 48}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PldRig r(samplePld(c.maker, c.name).rec);
        const std::uint32_t last = c.columns * c.rows - 1;
        r.st.buf.DeviceBuffer[last] = 0;
        r.st.buf.DeviceBuffer[last + 1] = 0;
        TFuseEditor ed(r.st);
        ed.show();
        EXPECT_EQ(ed.StringGrid3->model()->columnCount(), int(c.columns));
        EXPECT_EQ(ed.ScrollBar1->maximum(), int(c.rows) - 16);
        for (int row : {1, 15}) EXPECT_EQ(cellText(ed.StringGrid2, row, 0), QString::number(row * c.columns));

        for (std::uint32_t top : c.pageDownTops) {
            QTest::keyClick(ed.StringGrid3, Qt::Key_PageDown);
            EXPECT_EQ(ed.topRow(), top);
            EXPECT_EQ(ed.ScrollBar1->value(), int(top));
        }
        clickCell(ed.StringGrid3, 15, 0);
        for (std::uint32_t i = 0; i < c.rows; ++i) QTest::keyClick(ed.StringGrid3, Qt::Key_Down);
        ASSERT_EQ(ed.topRow(), c.rows - 16);
        EXPECT_EQ(cellText(ed.StringGrid2, 15, 0), QString::number(last + 1 - c.columns));
        EXPECT_EQ(cellText(ed.StringGrid3, 15, int(c.columns) - 1), "X");
        clickCell(ed.StringGrid3, 15, int(c.columns) - 1);
        QTest::keyClick(ed.StringGrid3, '-');
        EXPECT_EQ(ed.topRow(), c.rows - 16);
        EXPECT_EQ(ed.selectedRow() * 100 + ed.selectedCol(), 1500);
        EXPECT_EQ(r.st.buf.DeviceBuffer[last], 1);
        EXPECT_EQ(r.st.buf.DeviceBuffer[last + 1], 0);

        for (int i = 0; i < 8; ++i) QTest::keyClick(ed.StringGrid3, Qt::Key_PageUp);
        clickCell(ed.StringGrid3, 0, 0);
        for (int i = 0; i < 20; ++i) QTest::keyClick(ed.StringGrid3, Qt::Key_Up);
        EXPECT_EQ(ed.topRow(), 0u);
        EXPECT_EQ(ed.ScrollBar1->value(), 0);
        ed.ScrollBar1->setValue(5);
        EXPECT_EQ(cellText(ed.StringGrid2, 0, 0), QString::number(5 * c.columns));
    }
}
