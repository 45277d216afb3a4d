// Serial EEPROM and serial flash operations end to end on the simulated programmer.
#include <gtest/gtest.h>

#include <chrono>

#include "FamilyRig.h"
#include "families/Serial.h"
#include "operations/Dispatch.h"
#include "sim/SerialChip.h"
#include "support/MainWindowRig.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

const Bytes kReadFrame = frameBytes('E', 'R');
const Bytes kExtraReadFrame = frameBytes('E', 'r');
const Bytes kProgramFrame = frameBytes('E', 'P');
const Bytes kEraseFrame = frameBytes('E', 'E');

struct SerialSpec {
    std::string name = "24C64";
    std::uint32_t lastAddress = 0x1FFF;
    std::uint8_t maker = 0x1F, device = 0x27, device2 = 0;
    std::uint8_t pageCode = 0;
    std::uint8_t blank = 0xFF;

    DeviceRecord record() const {
        return RecordImage('S')
            .name(name)
            .lastAddress(lastAddress)
            .signature(maker, device)
            .deviceId2(device2)
            .pageCode(pageCode)
            .blankByte(blank)
            .buttons(kAllButtons)
            .build();
    }
};

struct SerialRig : FamilyRig {
    explicit SerialRig(const SerialSpec& part = {}, bool idCheck = true) : FamilyRig(part.record()) {
        st.pause = [](int) {};
        st.settings.IdCheckOption = idCheck ? 1 : 0;
    }
    sim::SerialChip& chip() { return dynamic_cast<sim::SerialChip&>(*sim.chip()); }
    Bytes idFrame() const { return st.settings.IdCheckOption ? frameBytes('E', dev().DeviceId2 ? 'I' : 'i') : Bytes{}; }
};

// What the worker does for kind 'S': the check, then the operation routine.
// True when the run ended without a failure.
bool run(SerialRig& r, char op) {
    r.startRun(op);
    r.sim.clearLog();
    if (!SerialCheckChipId(r.st)) {
        r.st.ErrorFlag.increment();
        return false;
    }
    SerialDoOperation(r.st);
    return r.st.ErrorFlag.get() == 0;
}

Bytes chipMemory(const FamilyRig& r) { return r.sim.chip()->memory(); }

QString notBlankLine(const SerialRig& r) { return QString(" %1 not blank").arg(QString::fromStdString(r.dev().Name)); }

}  // namespace

TEST(Serial, ReadFillsTheImageWithTheChip) {
    for (std::size_t trickle : {0, 3}) {
        SCOPED_TRACE(trickle);
        SerialRig r;
        if (trickle) r.sim.faults().splitReplies = trickle;
        const Bytes content = pattern(0x2000, 7);
        r.sim.chip()->load(0, content);
        EXPECT_TRUE(run(r, 'R'));
        EXPECT_EQ(r.image(0, 0x2000), content);
        EXPECT_EQ(r.sim.hostBytes(), r.idFrame() + kReadFrame);
        EXPECT_EQ(r.host.lines(), QStringList{" Read Completed"});
        EXPECT_EQ(r.host.checksum(), r.shownChecksum());
        EXPECT_EQ(r.host.closeCount(), 1);
        EXPECT_TRUE(r.sim.protocolErrors().empty());
    }
}

TEST(Serial, ReadThatBreaksOffIsAFailureAndKeepsNoStaleBytes) {
    SerialRig r;
    r.sim.chip()->load(0, pattern(0x2000, 3));
    r.sim.faults().streamStallsAfter = 0x100;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(run(r, 'R'));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_EQ(r.host.lines(), QStringList{" Error with read"});
    EXPECT_EQ(r.image(0x100, 0x100), Bytes(0x100, 0xFF)) << "bytes that never came are not stored";
    EXPECT_EQ(r.host.closeCount(), 1);
}

TEST(Serial, BlankCheck) {
    for (bool dirty : {false, true}) {
        SCOPED_TRACE(dirty ? "dirty" : "blank");
        SerialRig r;
        if (dirty) r.sim.chip()->load(0x1FFE, Bytes{0x7F});
        EXPECT_EQ(run(r, 'B'), !dirty);
        EXPECT_EQ(r.host.lines(), dirty ? QStringList{notBlankLine(r)} : QStringList{" Clean"});
        EXPECT_EQ(r.sim.hostBytes(), r.idFrame() + kReadFrame + (dirty ? word("ErrB") : Bytes{}));
        EXPECT_EQ(r.host.closeCount(), 1);
        EXPECT_TRUE(r.sim.protocolErrors().empty());
    }
}

TEST(Serial, ProgramSendsBlocksAndVerifies) {
    SerialRig r({.lastAddress = 0x7FFF});
    const Bytes content = pattern(0x8000, 5);
    r.fillImage(content);
    EXPECT_TRUE(run(r, 'P'));
    EXPECT_EQ(chipMemory(r), content);
    EXPECT_EQ(r.host.lines(), (QStringList{" Programmed", " Verifying", " Verify OK"}));
    EXPECT_EQ(r.host.captions().mid(r.host.captions().size() - 2), (QStringList{"Program", "Verifying"}));
    EXPECT_EQ(r.sim.hostBytes(), r.idFrame() + kProgramFrame + content + kReadFrame);
    // Two blocks, 0x6000 bytes and the rest, each in one write, no status call.
    const auto writes = r.sim.hostWrites();
    ASSERT_GE(writes.size(), 4u);
    EXPECT_EQ(writes[2].size(), 0x6000u);
    EXPECT_EQ(writes[3].size(), 0x2000u);
    const auto calls = r.sim.driverCalls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "status"), 0);
    EXPECT_NE(std::find(calls.begin(), calls.end(), "timeouts 20000 20000"), calls.end());
    EXPECT_EQ(r.host.closeCount(), 1);
    EXPECT_TRUE(r.sim.protocolErrors().empty());
}

TEST(Serial, VerifyMismatchReportsTheFirstDifferentByte) {
    SerialRig r;
    const Bytes content = pattern(0x2000, 9);
    r.sim.chip()->load(0, content);
    r.fillImage(content);
    r.st.buf.DeviceBuffer[0x123] ^= 0x10;
    EXPECT_FALSE(run(r, 'V'));
    const QStringList lines = r.host.lines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], " Verifying");
    EXPECT_TRUE(lines[1].contains("0x00123")) << lines[1].toStdString();
    EXPECT_EQ(r.sim.hostBytes(), r.idFrame() + kReadFrame + word("ErrV"));
    EXPECT_EQ(r.host.closeCount(), 1);
}

TEST(Serial, EraseConfirmedByDoneRunsTheBlankCheck) {
    SerialRig r;
    r.sim.chip()->load(0, pattern(0x2000, 2));
    EXPECT_TRUE(run(r, 'E'));
    EXPECT_TRUE(r.sim.chip()->isBlank());
    EXPECT_EQ(r.host.lines(), (QStringList{" Erased ", " Clean"}));
    EXPECT_EQ(r.sim.hostBytes(), r.idFrame() + kEraseFrame + kReadFrame);
    const auto calls = r.sim.driverCalls();
    ASSERT_FALSE(calls.empty());
    EXPECT_NE(std::find(calls.begin(), calls.end(), "timeouts 60000 60000"), calls.end());
    EXPECT_EQ(calls.back(), "timeouts 10000 10000");
}

TEST(Serial, EraseWithoutDoneIsAFailure) {
    SerialRig r;
    r.sim.faults().eraseFails = true;
    EXPECT_FALSE(run(r, 'E'));
    EXPECT_EQ(r.host.lines(), QStringList{" Erase Error"});
    EXPECT_EQ(r.sim.hostBytes(), r.idFrame() + kEraseFrame) << "no blank check after a failed erase";
    EXPECT_EQ(r.sim.driverCalls().back(), "timeouts 10000 10000");
}

TEST(Serial, ChipIdFrameFollowsTheThirdSignatureByte) {
    struct Case {
        std::uint8_t device2;
        Bytes frame;
    };
    for (const Case& c : {Case{0, frameBytes('E', 'i')}, Case{0x45, frameBytes('E', 'I')}}) {
        SCOPED_TRACE(int(c.device2));
        SerialRig r({.device2 = c.device2});
        EXPECT_TRUE(run(r, 'B'));
        const Bytes sent = r.sim.hostBytes();
        ASSERT_GE(sent.size(), 4u);
        EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 4), c.frame);
        EXPECT_TRUE(r.host.questions().isEmpty());
    }
}

TEST(Serial, NoChipIdFrameWhenTheCheckIsOff) {
    SerialRig r({}, false);
    r.sim.faults().signature = Bytes{0x00, 0x00, 0x00};
    EXPECT_TRUE(run(r, 'B'));
    EXPECT_EQ(r.sim.hostBytes(), kReadFrame);
    EXPECT_TRUE(r.host.questions().isEmpty());
}

TEST(Serial, WrongSignatureAsksAbortRetryIgnore) {
    struct Case {
        const char* name;
        std::vector<Answer> answers;
        bool runs;
        int asked;
    };
    for (const Case& c : {Case{"abort", {Answer::Abort}, false, 1}, Case{"ignore", {Answer::Ignore}, true, 1},
                          Case{"retry then abort", {Answer::Retry, Answer::Abort}, false, 2}}) {
        SCOPED_TRACE(c.name);
        SerialRig r({.device2 = 0x45});
        r.sim.faults().signature = Bytes{0x1F, 0x28, 0x45};
        for (Answer a : c.answers) r.host.queueAnswer(a);
        EXPECT_EQ(run(r, 'B'), c.runs);
        ASSERT_EQ(r.host.questions().size(), c.asked);
        EXPECT_EQ(r.host.questions()[0], "CHIP_ID Error|ID: 30=0x1F 31=0x28 32=0x45 ");
        Bytes expected;
        for (int i = 0; i < c.asked; ++i) expected = expected + frameBytes('E', 'I');
        if (c.runs) expected = expected + kReadFrame;
        EXPECT_EQ(r.sim.hostBytes(), expected);
    }
}

TEST(Serial, ThirdSignatureByteMattersOnlyForThreeByteParts) {
    for (std::uint8_t device2 : {std::uint8_t(0), std::uint8_t(0x45)}) {
        SCOPED_TRACE(int(device2));
        SerialRig r({.device2 = device2});
        r.sim.faults().signature = Bytes{0x1F, 0x27, 0x99};
        r.host.queueAnswer(Answer::Abort);
        EXPECT_EQ(run(r, 'B'), device2 == 0);
        EXPECT_EQ(r.host.questions().size(), device2 == 0 ? 0 : 1);
    }
}

TEST(Serial, SilentProgrammerFailsTheChipIdCheck) {
    SerialRig r;
    r.sim.faults().silent = true;
    EXPECT_FALSE(run(r, 'R'));
    EXPECT_EQ(r.host.lines(), QStringList{" Error with read"});
    EXPECT_TRUE(r.host.questions().isEmpty());
}

TEST(Serial, DeviceLargerThanTheImageSendsNothing) {
    SerialRig r;
    r.st.buf.replace(0x1000);  // smaller than the chip
    for (char op : {'R', 'B', 'P', 'V'}) {
        SCOPED_TRACE(op);
        r.st.settings.IdCheckOption = 0;
        EXPECT_FALSE(run(r, op));
        EXPECT_EQ(r.sim.hostBytes(), Bytes{});
    }
}

TEST(Serial, ProgramAfterAbortStillSendsTheImageButNoVerify) {
    SerialRig r({.lastAddress = 0x7FFF, .pageCode = 101});
    const Bytes content = pattern(0x8000, 4);
    r.fillImage(content);
    r.abortAtGauge(0x1000);
    EXPECT_FALSE(run(r, 'P') && r.st.RunFlag.load() != 0);
    EXPECT_EQ(r.sim.hostBytes(), r.idFrame() + kProgramFrame + content) << "no status byte, no read-back";
    EXPECT_TRUE(r.host.lines().isEmpty());
    EXPECT_EQ(r.host.closeCount(), 1);
}

TEST(Serial, DispatchRunsTheSerialFamily) {
    SerialRig r;
    r.sim.chip()->load(0, pattern(0x2000, 11));
    r.st.OperationCode = 'R';
    r.st.RunFlag = 1;
    ExecuteOperation(r.st);
    EXPECT_EQ(r.st.ErrorFlag.get(), 0);
    EXPECT_EQ(r.image(0, 0x2000), pattern(0x2000, 11));
}

namespace {

struct StatusCase {
    std::uint8_t pageCode;
    std::size_t statusBytes;
};
const StatusCase kStatusCases[] = {{0, 0}, {101, 1}, {102, 1}, {103, 2}};

}  // namespace

TEST(Serial, ReadTakesTheStatusBytesAfterTheData) {
    for (const StatusCase& c : kStatusCases) {
        SCOPED_TRACE(int(c.pageCode));
        SerialRig r({.pageCode = c.pageCode});
        r.st.mcu.SerialFlashStatus = 0x11;
        r.st.mcu.SerialFlashStatus2 = 0x22;
        if (c.statusBytes >= 1) r.chip().setStatus(0, 0x9C);
        if (c.statusBytes >= 2) r.chip().setStatus(1, 0x41);
        const Bytes content = pattern(0x2000, 13);
        r.sim.chip()->load(0, content);
        EXPECT_TRUE(run(r, 'R'));
        EXPECT_EQ(r.image(0, 0x2000), content);
        EXPECT_EQ(r.st.mcu.SerialFlashStatus, c.statusBytes >= 1 ? 0x9C : 0x11);
        EXPECT_EQ(r.st.mcu.SerialFlashStatus2, c.statusBytes >= 2 ? 0x41 : 0x22);
        EXPECT_EQ(r.host.lines(), QStringList{" Read Completed"});
        std::uint32_t left = 1;
        r.sim.queueStatus(left);
        EXPECT_EQ(left, 0u) << "every byte the programmer sent was taken";
    }
}

TEST(Serial, ProgramWritesTheStatusBytesAfterTheData) {
    for (const StatusCase& c : kStatusCases) {
        SCOPED_TRACE(int(c.pageCode));
        SerialRig r({.pageCode = c.pageCode});
        r.st.mcu.SerialFlashStatus = 0x8C;
        r.st.mcu.SerialFlashStatus2 = 0x02;
        const Bytes content = pattern(0x2000, 17);
        r.fillImage(content);
        EXPECT_TRUE(run(r, 'P'));
        Bytes status;
        if (c.statusBytes >= 1) status.push_back(0x8C);
        if (c.statusBytes >= 2) status.push_back(0x02);
        EXPECT_EQ(r.sim.hostBytes(), r.idFrame() + kProgramFrame + content + status + kReadFrame);
        EXPECT_EQ(r.chip().lastStatusWritten(), status);
        EXPECT_EQ(chipMemory(r), content);
        EXPECT_EQ(r.host.lines(), (QStringList{" Programmed", " Verifying", " Verify OK"}));
    }
}

// A read that breaks off between the two status bytes keeps neither: the
// next Program writes both back.
TEST(Serial, StatusPairIsKeptOnlyWhole) {
    SerialRig r({.pageCode = 103});
    r.chip().setStatus(0, 0x9C);
    r.chip().setStatus(1, 0x41);
    r.st.mcu.SerialFlashStatus = 0x11;
    r.st.mcu.SerialFlashStatus2 = 0x22;
    r.sim.faults().streamStallsAfter = 0x2000 + 1;
    EXPECT_FALSE(run(r, 'R'));
    EXPECT_EQ(r.host.lines(), QStringList{" Error with read"});
    EXPECT_EQ(r.st.mcu.SerialFlashStatus, 0x11);
    EXPECT_EQ(r.st.mcu.SerialFlashStatus2, 0x22);
}

TEST(Serial, SecondStatusByteTravelsFromReadToProgram) {
    SerialRig r({.pageCode = 103});
    r.chip().setStatus(0, 0x84);
    r.chip().setStatus(1, 0x03);
    ASSERT_TRUE(run(r, 'R'));
    r.st.mcu.SerialFlashStatus = 0x9C;  // the configuration page changes the first byte only
    r.select(SerialSpec{.pageCode = 103}.record());
    ASSERT_TRUE(run(r, 'P'));
    EXPECT_EQ(r.chip().lastStatusWritten(), (Bytes{0x9C, 0x03}));
}

TEST(Serial, ExtraAreaOfTheAt24rf08c) {
    const SerialSpec part{.name = "AT24RF08C", .lastAddress = 0x3FF, .pageCode = 101};
    const Bytes content = pattern(0x400, 21);
    const Bytes extra = pattern(32, 23);

    {
        SCOPED_TRACE("read");
        SerialRig r(part);
        r.sim.chip()->load(0, content);
        r.chip().loadExtra(0, extra);
        r.chip().setStatus(0, 0x0C);
        std::vector<int> maxima;
        r.host.onGauge = [&](int maximum, int) {
            if (maxima.empty() || maxima.back() != maximum) maxima.push_back(maximum);
        };
        EXPECT_TRUE(run(r, 'R'));
        EXPECT_EQ(r.image(0, 0x400 + 32), content + extra);
        EXPECT_EQ(r.st.buf.DeviceBuffer[0x400 + 32], 0xFF) << "nothing past the extra area";
        EXPECT_EQ(r.st.mcu.SerialFlashStatus, 0x0C);
        EXPECT_EQ(r.sim.hostBytes(), r.idFrame() + kReadFrame + kExtraReadFrame);
        EXPECT_NE(std::find(maxima.begin(), maxima.end(), 32), maxima.end()) << "the gauge restarts for the extra area";
        EXPECT_EQ(r.host.lines(), QStringList{" Read Completed"});
    }
    for (bool extraDiffers : {false, true}) {
        SCOPED_TRACE(extraDiffers ? "verify, extra area differs" : "verify");
        SerialRig r(part);
        r.sim.chip()->load(0, content);
        r.chip().loadExtra(0, extra);
        r.fillImage(content + extra);
        if (extraDiffers) r.st.buf.DeviceBuffer[0x400 + 5] ^= 1;
        EXPECT_EQ(run(r, 'V'), !extraDiffers);
        EXPECT_EQ(r.sim.hostBytes(),
                  r.idFrame() + kReadFrame + kExtraReadFrame + (extraDiffers ? word("ErrV") : Bytes{}));
        EXPECT_EQ(r.host.lines().size(), 2);
        if (extraDiffers) {
            EXPECT_TRUE(r.host.lines().last().contains("0x00405")) << r.host.lines().last().toStdString();
        } else {
            EXPECT_EQ(r.host.lines().last(), " Verify OK");
        }
    }
    {
        SCOPED_TRACE("program leaves the extra area alone; its verify compares it");
        SerialRig r(part);
        r.chip().loadExtra(0, extra);
        r.fillImage(content + extra);
        EXPECT_TRUE(run(r, 'P'));
        EXPECT_EQ(chipMemory(r), content);
        EXPECT_EQ(r.chip().extraArea(), extra);
        EXPECT_EQ(r.sim.hostBytes(), r.idFrame() + kProgramFrame + content + Bytes{0x00} + kReadFrame + kExtraReadFrame);
    }
    {
        SCOPED_TRACE("an image without room for the extra area");
        SerialRig r(part);
        r.st.buf.replace(0x400 + 16);
        EXPECT_FALSE(run(r, 'R'));
        EXPECT_EQ(r.sim.hostBytes(), r.idFrame()) << "nothing is asked that the image cannot hold";
        EXPECT_EQ(r.chip().readCommands(), 0u);
    }
}

TEST(Serial, AbortedReadAsksForNothingMore) {
    SerialRig r({.name = "AT24RF08C", .lastAddress = 0x3FF, .pageCode = 103});
    r.st.mcu.SerialFlashStatus = 0x55;
    r.abortAtGauge(0x100);
    EXPECT_FALSE(run(r, 'R') && r.st.RunFlag.load() != 0);
    EXPECT_EQ(r.sim.hostBytes(), r.idFrame() + kReadFrame + word("Stop")) << "no extra area after Abort";
    EXPECT_EQ(r.st.mcu.SerialFlashStatus, 0x55) << "no status byte taken";
    EXPECT_TRUE(r.host.lines().isEmpty());
    EXPECT_EQ(r.host.closeCount(), 1);
}

TEST(Serial, BlankCheckExpectsTheBlankValueThenFF) {
    // A part erased to 0x00 still reads 0xFF in every second byte of a blank check.
    SerialRig r({.blank = 0x00});
    Bytes pairs(0x2000);
    for (std::size_t i = 0; i < pairs.size(); ++i) pairs[i] = (i & 1) ? 0xFF : 0x00;
    r.sim.chip()->load(0, pairs);
    EXPECT_TRUE(run(r, 'B'));
    EXPECT_EQ(r.host.lines(), QStringList{" Clean"});

    r.sim.chip()->load(0, Bytes(0x2000, 0x00));
    EXPECT_FALSE(run(r, 'B'));
    EXPECT_EQ(r.host.lines().last(), notBlankLine(r));
}

namespace {

class SerialWindowTest : public MainWindowRig {};

}  // namespace

TEST_F(SerialWindowTest, ToolbarProgramsReadsBackAndErasesASerialPart) {
    // A serial flash with a signature and two status bytes.
    const auto found = findDevice(2, [](const DeviceRecord& d) {
        return d.FamilyLetter == 'S' && d.PageCode == 103 && d.MakerId != 0;
    });
    ASSERT_TRUE(found) << "no serial part with two status bytes in the sample data";
    select(found->place);
    ASSERT_TRUE(st().dev());
    ASSERT_EQ(st().dev()->FamilyLetter, 'S');
    st().settings.IdCheckOption = 1;
    clearLogs();
    ASSERT_TRUE(w().SB_Prog->isEnabled());

    const std::size_t n = std::size_t(st().dev()->LastAddress) + 1;
    const Bytes content = pattern(n, 37);
    std::copy(content.begin(), content.end(), st().buf.DeviceBuffer.begin());
    st().mcu.SerialFlashStatus = 0x9C;
    st().mcu.SerialFlashStatus2 = 0x01;
    w().BitBtn1->click();  // counters reset

    w().SB_Prog->click();
    QStringList lines = w().memoLines();
    EXPECT_TRUE(lines.contains(" Programmed")) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.contains(" Verify OK"));
    EXPECT_EQ(w().ProgCorrect->text(), "1");
    EXPECT_EQ(sim_.chip()->memory(), content);
    auto& chip = dynamic_cast<sim::SerialChip&>(*sim_.chip());
    EXPECT_EQ(chip.lastStatusWritten(), (Bytes{0x9C, 0x01}));
    EXPECT_EQ(chip.identifyRequests(), "I");

    // The image forgets, a read brings back the data and both status bytes.
    std::fill_n(st().buf.DeviceBuffer.begin(), n, 0);
    st().mcu.SerialFlashStatus = 0;
    st().mcu.SerialFlashStatus2 = 0;
    w().Memo1->clear();
    w().SB_Read->click();
    lines = w().memoLines();
    EXPECT_TRUE(lines.contains(" Read Completed")) << lines.join('\n').toStdString();
    EXPECT_EQ(Bytes(st().buf.DeviceBuffer.begin(), st().buf.DeviceBuffer.begin() + std::ptrdiff_t(n)), content);
    EXPECT_EQ(st().mcu.SerialFlashStatus, chip.status(0));
    EXPECT_EQ(st().mcu.SerialFlashStatus2, chip.status(1));

    w().Memo1->clear();
    w().SB_Erase->click();
    lines = w().memoLines();
    EXPECT_TRUE(lines.contains(" Erased ")) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.contains(" Clean"));
    EXPECT_TRUE(sim_.chip()->isBlank());
    EXPECT_TRUE(sim_.protocolErrors().empty());
}
