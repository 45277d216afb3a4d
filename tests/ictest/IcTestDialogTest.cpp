// The IC Test dialog, opened through the main window's IC Test button, on the
// simulated programmer.
#include <QTest>

#include "ictest/gui/TForm1.h"
#include "ictest/gui/TfrmIcTest.h"
#include "support/MainWindowRig.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

class IcTestDialog : public MainWindowRig {
protected:
    void SetUp() override {
        MainWindowRig::SetUp();
        // As the program does on the simulator: a good IC of the chosen kind.
        st().onIcTestStart = [this](const std::string& name, int) {
            sim_.insertLogicIc(name);
            if (onPass) onPass();
        };
        clearLogs();
    }

    // Opens the dialog with the IC Test button, lets `act` work on it, closes it.
    void inIcTest(std::function<void(TfrmIcTest&)> act) {
        bool ran = false;
        onNextModal(
            [&](QWidget* w) {
                auto& d = *static_cast<TfrmIcTest*>(w);
                act(d);
                ran = true;
                d.reject();
            },
            "tesmar::TfrmIcTest");
        QTest::mouseClick(this->w().SB_IcTest, Qt::LeftButton);
        EXPECT_TRUE(ran);
    }

    static void pick(TfrmIcTest& d, const QString& group, const QString& ic) {
        const auto g = d.ListBox1->findItems(group, Qt::MatchExactly);
        ASSERT_EQ(g.size(), 1);
        d.ListBox1->setCurrentItem(g.first());
        const auto i = d.ListBox2->findItems(ic, Qt::MatchExactly);
        ASSERT_EQ(i.size(), 1);
        d.ListBox2->setCurrentItem(i.first());
    }

    static QStringList items(const QListWidget* list) {
        QStringList s;
        for (int i = 0; i < list->count(); ++i) s << list->item(i)->text();
        return s;
    }

    // Enters `count` in the loop-count form when it opens.
    static void answerLoopCount(const QString& count) {
        onNextModal(
            [count](QWidget* w) {
                auto& f = *static_cast<TForm1*>(w);
                f.Edit1->setText(count);
                QTest::mouseClick(f.BitBtn1, Qt::LeftButton);
            },
            "tesmar::TForm1");
    }

    std::function<void()> onPass;
};

}  // namespace

TEST_F(IcTestDialog, OpensWithTheGroupsAndTheFirstGroupsIcs) {
    ASSERT_TRUE(w().SB_IcTest->isEnabled());
    inIcTest([&](TfrmIcTest& d) {
        EXPECT_EQ(d.windowTitle(), "IC Test");
        EXPECT_EQ(items(d.ListBox1), (QStringList{"74xx Gates", "74xx Decoders", "74xx Mux", "74xx Buffers",
                                                  "74xx Registers", "Static RAM"}));
        EXPECT_EQ(d.ListBox1->currentRow(), 0);
        EXPECT_EQ(items(d.ListBox2), (QStringList{"7400", "7402", "7404", "7408", "7432", "7486", "74HC918"}));
        EXPECT_EQ(d.ListBox2->currentRow(), 0);
        EXPECT_EQ(d.tester().IcGroupIndex, 1);
        EXPECT_EQ(d.tester().IcIndex, 0);
        EXPECT_FALSE(d.ChangeIC->isEnabled());
        EXPECT_FALSE(d.Label3->isVisible());
        EXPECT_FALSE(d.Pass->isVisible());
        EXPECT_EQ(d.BB_test->text(), "Test  1 x");
        EXPECT_EQ(d.BB_loop->text(), " Loop Test ");

        d.ListBox1->setCurrentRow(3);
        EXPECT_EQ(items(d.ListBox2), (QStringList{"74244", "74240", "74245"}));
        EXPECT_EQ(d.tester().IcGroupIndex, 4);
        EXPECT_EQ(d.tester().IcIndex, 0);
        d.ListBox2->setCurrentRow(2);
        EXPECT_EQ(d.tester().IcIndex, 2);
    });
    EXPECT_TRUE(boxes().seen().isEmpty());
}

TEST_F(IcTestDialog, GoodIcShowsPass) {
    inIcTest([&](TfrmIcTest& d) {
        pick(d, "74xx Mux", "74158");
        QTest::mouseClick(d.BB_test, Qt::LeftButton);
        EXPECT_TRUE(d.Pass->isVisible());
        EXPECT_FALSE(d.Fail->isVisible());
        EXPECT_FALSE(d.ListBox1->isVisible());
        EXPECT_FALSE(d.ListBox2->isVisible());
        EXPECT_TRUE(d.Label3->isVisible());
        EXPECT_EQ(d.Label3->text(), "Testing");
        EXPECT_EQ(d.StaticText1->text(), "74158");
        EXPECT_TRUE(d.StaticText2->isVisible());
        EXPECT_EQ(d.StaticText2->text(), " ic pin 10 - 16 , with 100R to ic pin 8 ");
        EXPECT_TRUE(d.Bevel1->isVisible());
        EXPECT_TRUE(d.BB_test->isEnabled());
        EXPECT_TRUE(d.BB_loop->isEnabled());
        EXPECT_EQ(d.BB_loop->text(), " Loop Test ");
        EXPECT_TRUE(d.ChangeIC->isEnabled());
    });
    const QStringList memo = w().memoLines();
    ASSERT_EQ(memo.size(), 3) << memo.join('\n').toStdString();
    EXPECT_EQ(memo[0], " FPGA programmed OK");
    EXPECT_EQ(memo[1], " MCU file sent OK");
    EXPECT_TRUE(memo[2].startsWith(" 00:00:"));
    EXPECT_EQ(sim_.protocolErrors(), std::vector<std::string>{});
}

TEST_F(IcTestDialog, FaultyIcShowsFailWithTheLineAndTheAnswer) {
    onPass = [this] { sim_.logicIc()->stickPin(6, true); };  // 7400: output pin 6 stuck high
    inIcTest([&](TfrmIcTest& d) {
        QTest::mouseClick(d.BB_test, Qt::LeftButton);
        EXPECT_TRUE(d.Fail->isVisible());
        EXPECT_FALSE(d.Pass->isVisible());
        EXPECT_TRUE(d.Label4->isVisible());
        EXPECT_TRUE(d.Label5->isVisible());
        EXPECT_EQ(d.Label4->text(), "Vectors");
        EXPECT_EQ(d.Label5->text(), "Result");
        EXPECT_EQ(d.Panel1->text(), "11L11LGL11L11V");
        EXPECT_EQ(d.Panel2->text(), "11L11HGL11L11V");
        // The caption keeps the count of the failed test.
        EXPECT_EQ(d.BB_loop->text(), "  0 x");
        EXPECT_TRUE(d.ChangeIC->isEnabled());
    });
    int opens = 0;
    for (const auto& wr : sim_.hostWrites()) opens += wr == std::vector<std::uint8_t>{'E', 'S', 7, 8};
    EXPECT_EQ(opens, 6);
}

TEST_F(IcTestDialog, LoopTestCountsDownAndEndsWithLoopTestAgain) {
    QStringList captionsAtPassStart;
    std::vector<bool> testEnabled;
    TfrmIcTest* dialog = nullptr;
    onPass = [&] {
        captionsAtPassStart << dialog->BB_loop->text();
        testEnabled.push_back(dialog->BB_test->isEnabled());
    };
    inIcTest([&](TfrmIcTest& d) {
        dialog = &d;
        pick(d, "74xx Registers", "74374");
        answerLoopCount("3");
        QTest::mouseClick(d.BB_loop, Qt::LeftButton);
        EXPECT_TRUE(d.Pass->isVisible());
        EXPECT_EQ(d.BB_loop->text(), " Loop Test ");
        EXPECT_TRUE(d.BB_test->isEnabled());
        EXPECT_TRUE(d.BB_loop->isEnabled());
        EXPECT_EQ(d.tester().LoopCount, 0);
    });
    EXPECT_EQ(captionsAtPassStart, (QStringList{" Loop Test ", "  2 x", "  1 x"}));
    EXPECT_EQ(testEnabled, (std::vector<bool>{true, false, false}));
}

TEST_F(IcTestDialog, LoopCountFormRefusesBadCounts) {
    inIcTest([&](TfrmIcTest& d) {
        onNextModal(
            [](QWidget* w) {
                auto& f = *static_cast<TForm1*>(w);
                EXPECT_EQ(f.windowTitle(), "Enter Loop Count");
                EXPECT_EQ(f.Edit1->text(), "1");
                EXPECT_TRUE(f.windowFlags() & Qt::WindowStaysOnTopHint);
                for (const char* bad : {"abc", "0", "-2", ""}) {
                    f.Edit1->setText(bad);
                    QTest::mouseClick(f.BitBtn1, Qt::LeftButton);
                    EXPECT_TRUE(f.isVisible()) << bad;
                }
                f.reject();  // closed without a count: no pass
            },
            "tesmar::TForm1");
        QTest::mouseClick(d.BB_loop, Qt::LeftButton);
        EXPECT_FALSE(d.Label3->isVisible());
        EXPECT_TRUE(d.ListBox1->isVisible());
    });
    EXPECT_EQ(boxes().seen(), (QStringList{"Enter Loop Count|'abc' is not a valid integer value",
                                           "Enter Loop Count|The loop count must be 1 or more",
                                           "Enter Loop Count|The loop count must be 1 or more",
                                           "Enter Loop Count|'' is not a valid integer value"}));
    EXPECT_TRUE(sim_.hostWrites().empty());
}

TEST_F(IcTestDialog, ChangeIcBringsTheListsBack) {
    inIcTest([&](TfrmIcTest& d) {
        pick(d, "74xx Buffers", "74240");
        QTest::mouseClick(d.BB_test, Qt::LeftButton);
        ASSERT_TRUE(d.Pass->isVisible());
        ASSERT_TRUE(d.StaticText2->isVisible());
        QTest::mouseClick(d.ChangeIC, Qt::LeftButton);
        for (QWidget* shown : std::initializer_list<QWidget*>{d.ListBox1, d.ListBox2, d.Label1, d.Label2})
            EXPECT_TRUE(shown->isVisible()) << shown->objectName().toStdString();
        for (QWidget* hidden : std::initializer_list<QWidget*>{d.Label3, d.StaticText1, d.StaticText2, d.Fail, d.Pass,
                                                                d.Panel1, d.Panel2})
            EXPECT_FALSE(hidden->isVisible()) << hidden->objectName().toStdString();
        EXPECT_FALSE(d.ChangeIC->isEnabled());
        // The lists start over at the first group.
        EXPECT_EQ(d.ListBox1->currentRow(), 0);
        EXPECT_EQ(items(d.ListBox2).first(), "7400");
        EXPECT_EQ(d.tester().IcGroupIndex, 1);
        EXPECT_EQ(d.tester().IcIndex, 0);

        pick(d, "74xx Gates", "7486");
        QTest::mouseClick(d.BB_test, Qt::LeftButton);
        EXPECT_TRUE(d.Pass->isVisible());
        EXPECT_EQ(d.StaticText1->text(), "7486");
        EXPECT_FALSE(d.StaticText2->isVisible());
    });
}

TEST_F(IcTestDialog, UploadsOncePerOpeningAndPinCount) {
    auto uploads = [this] {
        int fpga = 0, mcu = 0;
        for (const auto& wr : sim_.hostWrites()) {
            fpga += wr == std::vector<std::uint8_t>{'F', 'P', 'G', 'A'};
            mcu += wr == std::vector<std::uint8_t>{'M', 'C', 'U', ' '};
        }
        return std::make_pair(fpga, mcu);
    };
    inIcTest([&](TfrmIcTest& d) {
        QTest::mouseClick(d.BB_test, Qt::LeftButton);
        QTest::mouseClick(d.ChangeIC, Qt::LeftButton);
        pick(d, "74xx Gates", "7432");
        QTest::mouseClick(d.BB_test, Qt::LeftButton);
        EXPECT_TRUE(d.Pass->isVisible());
    });
    EXPECT_EQ(uploads(), std::make_pair(1, 1));
    // A new opening sends both again.
    inIcTest([&](TfrmIcTest& d) {
        QTest::mouseClick(d.BB_test, Qt::LeftButton);
        EXPECT_TRUE(d.Pass->isVisible());
    });
    EXPECT_EQ(uploads(), std::make_pair(2, 2));
}

TEST_F(IcTestDialog, AStaticRamIsShownAsNotTestedNeverAsPassed) {
    // The programmer has no exchange for memory patterns: the RAM is neither
    // good nor failed, and a loop stops after its first pass.
    int passes = 0;
    onPass = [&] { ++passes; };
    inIcTest([&](TfrmIcTest& d) {
        pick(d, "Static RAM", "6116");
        answerLoopCount("3");
        QTest::mouseClick(d.BB_loop, Qt::LeftButton);
        EXPECT_FALSE(d.Pass->isVisible());
        EXPECT_FALSE(d.Fail->isVisible());
        EXPECT_TRUE(d.NotTested->isVisible());
        EXPECT_EQ(d.NotTested->text(), "NOT TESTED");
        EXPECT_TRUE(d.Panel1->isVisible());
        EXPECT_EQ(d.Panel1->text(), "Test 1  Data = 0xA5  Not tested");
        EXPECT_EQ(d.CGauge1->maximum(), 2048);
        EXPECT_EQ(d.BB_loop->text(), " Loop Test ");
        EXPECT_TRUE(d.BB_test->isEnabled());
    });
    EXPECT_EQ(passes, 1);
    EXPECT_EQ(st().ErrorFlag.get(), 0);
}

TEST_F(IcTestDialog, MissingDatabaseShowsItsBoxAndLeavesDemoMode) {
    QTemporaryDir empty;
    st().settings.ProgramDir = empty.path().toStdString();
    ASSERT_EQ(st().ProgrammerState, 1);
    inIcTest([&](TfrmIcTest& d) {
        EXPECT_EQ(d.ListBox1->count(), 0);
        EXPECT_EQ(d.ListBox2->count(), 0);
        EXPECT_EQ(d.tester().IcIndex, -1);
        QTest::mouseClick(d.BB_test, Qt::LeftButton);
        EXPECT_FALSE(d.Label3->isVisible());
    });
    EXPECT_EQ(boxes().seen(), QStringList{" File Not Found |All.usb"});
    EXPECT_EQ(st().ProgrammerState, 0);
    EXPECT_TRUE(sim_.hostWrites().empty());
    // In DEMO mode the device buttons do nothing; the IC tester still opens.
    EXPECT_TRUE(w().SB_IcTest->isEnabled());
}

TEST_F(IcTestDialog, TestLeavesTheDeviceImageAlone) {
    const auto before = st().buf.DeviceBuffer;
    inIcTest([&](TfrmIcTest& d) {
        pick(d, "Static RAM", "6116");
        QTest::mouseClick(d.BB_test, Qt::LeftButton);
        EXPECT_TRUE(d.NotTested->isVisible());
        QTest::mouseClick(d.ChangeIC, Qt::LeftButton);
        EXPECT_FALSE(d.NotTested->isVisible());
        QTest::mouseClick(d.BB_test, Qt::LeftButton);
        EXPECT_TRUE(d.Pass->isVisible());
    });
    EXPECT_TRUE(st().buf.DeviceBuffer == before);
}
