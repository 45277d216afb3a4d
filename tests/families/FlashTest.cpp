// Flash and parallel EEPROM operations end to end on the simulated programmer.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "FamilyRig.h"
#include "families/Flash.h"
#include "link/Replies.h"
#include "operations/Dispatch.h"
#include "sim/FlashChip.h"
#include "support/MainWindowRig.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

const Bytes kChipIdFrame = frameBytes('E', 'I');
const Bytes kReadFrame = frameBytes('E', 'R');
const Bytes kProgramFrame = frameBytes('E', 'P');
const Bytes kEraseFrame = word("EE00");

struct FlashSpec {
    char letter = 'F';
    std::uint32_t lastAddress = 0x7FFF;
    std::uint8_t maker = 0x1F, device = 0xDC;
    std::uint8_t pageCode = 0;
    std::string firmware = "Fxxxn";
    std::uint8_t blank = 0xFF;
    std::uint16_t buttons = kAllButtons;

    DeviceRecord record() const {
        return RecordImage(letter)
            .name(letter == 'E' ? "28C256" : "29F256")
            .lastAddress(lastAddress)
            .signature(maker, device)
            .pageCode(pageCode)
            .blankByte(blank)
            .buttons(buttons)
            .text(0xB0, firmware, 8)
            .build();
    }
};

// A rig whose fixed pauses do not hold the test up.
struct FlashRig : FamilyRig {
    explicit FlashRig(const FlashSpec& part = {}) : FamilyRig(part.record()) {
        st.pause = [](int) {};
    }
    sim::FlashChip& chip() { return dynamic_cast<sim::FlashChip&>(*sim.chip()); }
};

// What the worker does for these kinds: ChipErasable back to 1, the check,
// then the operation routine. True when the run ended without a failure.
bool run(FlashRig& r, char op) {
    r.startRun(op);
    r.sim.clearLog();
    r.st.ChipErasable = 1;
    if (!FlashCheckChipId(r.st)) {
        r.st.ErrorFlag.increment();
        return false;
    }
    FlashDoOperation(r.st);
    return r.st.ErrorFlag.get() == 0;
}

Bytes chipMemory(const FamilyRig& r) { return r.sim.chip()->memory(); }

QString notBlankLine(const FlashRig& r) { return QString(" %1 not blank").arg(QString::fromStdString(r.dev().Name)); }

}  // namespace

TEST(Flash, ReadFillsTheImageWithTheChip) {
    struct Case {
        char letter;
        std::size_t trickle;  // bytes the stream shows per poll, 0 = all at once
    };
    for (const Case& c : {Case{'F', 0}, Case{'E', 0}, Case{'E', 3}}) {
        SCOPED_TRACE(std::string(1, c.letter) + (c.trickle ? " trickle" : ""));
        FlashRig r({.letter = c.letter, .lastAddress = 0x3FFF});
        if (c.trickle) r.sim.faults().splitReplies = c.trickle;
        const Bytes content = pattern(0x4000, 7);
        r.sim.chip()->load(0, content);
        EXPECT_TRUE(run(r, 'R'));
        EXPECT_EQ(r.image(0, 0x4000), content);
        EXPECT_EQ(r.sim.hostBytes(), kChipIdFrame + kReadFrame);
        const auto calls = r.sim.driverCalls();
        ASSERT_GE(calls.size(), 3u);
        EXPECT_EQ(calls[1], "write 4");
        EXPECT_EQ(calls[2], "timeouts 500 500");
        EXPECT_EQ(r.host.lines(), QStringList{" Read Completed"});
        EXPECT_EQ(r.host.checksum(), r.shownChecksum());
        EXPECT_EQ(r.host.closeCount(), 1);
        EXPECT_TRUE(r.sim.protocolErrors().empty());
    }
}

TEST(Flash, ReadThatBreaksOffKeepsNoStaleBytes) {
    FlashRig r;
    r.sim.chip()->load(0, pattern(0x8000, 3));
    r.sim.faults().streamStallsAfter = 0x100;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(run(r, 'R'));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_EQ(r.host.lines(), QStringList{" Error with read"});
    EXPECT_EQ(r.image(0x100, 0x100), Bytes(0x100, 0xFF)) << "bytes that never came are not stored";
    EXPECT_EQ(r.host.closeCount(), 1);
}

TEST(Flash, BlankCheck) {
    for (char letter : {'F', 'E'}) {
        for (bool dirty : {false, true}) {
            SCOPED_TRACE(std::string(1, letter) + (dirty ? " dirty" : " blank"));
            FlashRig r({.letter = letter});
            if (dirty) r.sim.chip()->load(0x7FFF, Bytes{0x7F});
            EXPECT_EQ(run(r, 'B'), !dirty);
            EXPECT_EQ(r.host.lines(), dirty ? QStringList{notBlankLine(r)} : QStringList{" Clean"});
            EXPECT_EQ(r.sim.hostBytes(), kChipIdFrame + kReadFrame + (dirty ? word("ErrB") : Bytes{}));
            EXPECT_EQ(r.host.closeCount(), 1);
            EXPECT_TRUE(r.sim.protocolErrors().empty());
        }
    }
}

TEST(Flash, ProgramSendsBlocksAndVerifies) {
    for (char letter : {'F', 'E'}) {
        SCOPED_TRACE(letter);
        FlashRig r({.letter = letter});
        const Bytes content = pattern(0x8000, 3);
        r.fillImage(content);
        const QString before = r.shownChecksum();
        EXPECT_TRUE(run(r, 'P'));
        EXPECT_EQ(chipMemory(r), content);
        EXPECT_EQ(r.host.lines(), (QStringList{" Programmed", " Verifying @ Vdd = 5.0V ", " Verify OK"}));
        EXPECT_EQ(r.sim.hostBytes(), kChipIdFrame + kProgramFrame + content + kReadFrame);
        // Two blocks: 0x6000 bytes, then the rest, each in one write after a status call.
        const auto calls = r.sim.driverCalls();
        ASSERT_GE(calls.size(), 7u);
        const std::vector<std::string> program(calls.begin() + 1, calls.begin() + 7);
        EXPECT_EQ(program, (std::vector<std::string>{"timeouts 1000 10000", "write 4", "status", "write 24576",
                                                     "status", "write 8192"}));
        EXPECT_EQ(r.host.captions(), (QStringList{"Program", "Verify"}));
        EXPECT_EQ(r.host.checksum(), before);
        EXPECT_EQ(r.host.closeCount(), 1);
        EXPECT_TRUE(r.sim.protocolErrors().empty());
    }
}

// The programmer answers in whole groups of 8, the last one padded: a part
// whose size is no multiple of 8 must leave no answer behind for the verify.
TEST(Flash, ProgramTakesWholeAnswerGroups) {
    for (std::uint32_t last : {0x7FFCu, 0x0004u}) {
        SCOPED_TRACE(last);
        FlashRig r({.lastAddress = last});
        const Bytes content = pattern(last + 1, 5);
        r.fillImage(content);
        EXPECT_TRUE(run(r, 'P'));
        EXPECT_EQ(chipMemory(r), content);
        EXPECT_EQ(r.host.lines(), (QStringList{" Programmed", " Verifying @ Vdd = 5.0V ", " Verify OK"}));
    }
}

TEST(Flash, ProgramWithoutEraseFailsVerify) {
    // Nothing erases before Program: flash cells already cleared stay cleared.
    FlashRig r({.letter = 'F'});
    r.sim.chip()->load(0x2345, Bytes{0x00});
    const Bytes content(0x8000, 0x5A);
    r.fillImage(content);
    EXPECT_FALSE(run(r, 'P'));
    EXPECT_EQ(r.host.lines(), (QStringList{" Programmed", " Verifying @ Vdd = 5.0V ",
                                           "  Compare Error @ 0x02345 Ram = 0x5A 29F256 = 0x00"}));
    EXPECT_EQ(r.sim.hostBytes(), kChipIdFrame + kProgramFrame + content + kReadFrame + word("ErrV"));
}

TEST(Flash, VerifyMismatchShowsTheCompareLine) {
    for (char letter : {'F', 'E'}) {
        SCOPED_TRACE(letter);
        FlashRig r({.letter = letter});
        const Bytes content = pattern(0x8000, 9);
        r.fillImage(content);
        Bytes chip = content;
        chip[0x6001] = std::uint8_t(content[0x6001] ^ 0x10);
        r.sim.chip()->load(0, chip);
        EXPECT_FALSE(run(r, 'V'));
        EXPECT_EQ(r.host.lines(),
                  (QStringList{" Verifying @ Vdd = 5.0V ",
                               QString::asprintf("  Compare Error @ 0x06001 Ram = 0x%.2X %s = 0x%.2X", content[0x6001],
                                                 r.dev().Name.c_str(), chip[0x6001])}));
        EXPECT_EQ(r.sim.hostBytes(), kChipIdFrame + kReadFrame + word("ErrV"));
        EXPECT_EQ(r.host.closeCount(), 1);
    }
}

TEST(Flash, OptionByteFollowsTheProgramFrame) {
    struct Case {
        std::string firmware;
        std::uint8_t pageCode;
        std::uint8_t sdp;
        Bytes option;  // what follows "EP"
    };
    const std::vector<Case> cases = {
        {"FxxxA", 0x00, 0, {1}},
        {"FxxxA", 0x82, 0, {0}},
        {"FxxxA", 0x82, 1, {1}},
        {"FxxxA", 0x83, 0, {1}},
        {"Fxxx", 0x00, 0, {1}},
        {"FxxxS", 0x82, 1, {}},
        {"FxxxR", 0x00, 0, {}},
        {"FxxxT", 0x00, 0, {}},
        {"Fxxxn", 0x82, 1, {}},
        {"FxxyA", 0x82, 1, {}},
        {"fxxxA", 0x00, 0, {}},
        {"EP27A", 0x00, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.firmware + " page " + std::to_string(c.pageCode) + " sdp " + std::to_string(c.sdp));
        FlashRig r({.letter = 'E', .lastAddress = 0x0FFF, .pageCode = c.pageCode, .firmware = c.firmware});
        r.st.settings.IdCheckOption = 0;
        r.st.mcu.SdpEnable = c.sdp;
        const Bytes content = pattern(0x1000, 21);
        r.fillImage(content);
        EXPECT_TRUE(run(r, 'P'));
        EXPECT_EQ(r.sim.hostBytes(), kProgramFrame + c.option + content + kReadFrame);
        EXPECT_EQ(r.chip().lastOptionByte().has_value(), !c.option.empty());
        if (!c.option.empty()) {
            EXPECT_EQ(*r.chip().lastOptionByte(), c.option[0]);
        }
        EXPECT_EQ(chipMemory(r), content);
        EXPECT_TRUE(r.sim.protocolErrors().empty());
    }
}

TEST(Flash, ErasePathsByMakerAndDevice) {
    struct Case {
        const char* name;
        std::uint8_t maker, device;
        Bytes frames;
        QStringList captions;
    };
    const QStringList erase{"Erase"};
    const QStringList preErase{"Erase", "PreErasing"};
    const std::vector<Case> cases = {
        {"plain", 0x1F, 0xDC, kChipIdFrame + kEraseFrame + kReadFrame, erase},
        {"0x89 0x94 answers Done", 0x89, 0x94, kChipIdFrame + kEraseFrame + kReadFrame, erase},
        {"0x89 0x95 answers Done", 0x89, 0x95, kChipIdFrame + kEraseFrame + kReadFrame, erase},
        {"0x89 pre-erase", 0x89, 0x18, kChipIdFrame + kEraseFrame + kReadFrame, preErase},
        // After its "Good" this part sends its contents unasked.
        {"0x89 0xBD pre-erase", 0x89, 0xBD, kChipIdFrame + kEraseFrame, preErase},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FlashRig r({.letter = 'F', .lastAddress = 0xFFFF, .maker = c.maker, .device = c.device});
        r.sim.chip()->load(0x100, pattern(0x1000, 5));
        EXPECT_TRUE(run(r, 'E'));
        EXPECT_EQ(r.host.lines(), QStringList{" Clean"});
        EXPECT_EQ(r.sim.hostBytes(), c.frames);
        EXPECT_EQ(r.host.captions(), c.captions);
        EXPECT_TRUE(r.sim.chip()->isBlank());
        EXPECT_EQ(r.host.closeCount(), 1);
        EXPECT_TRUE(r.sim.protocolErrors().empty());
    }
}

TEST(Flash, BlankButtonAsksThePreEraseDeviceForItsContents) {
    FlashRig r({.letter = 'F', .maker = 0x89, .device = 0xBD});
    EXPECT_TRUE(run(r, 'B'));
    EXPECT_EQ(r.sim.hostBytes(), kChipIdFrame + kReadFrame);
    EXPECT_EQ(r.host.lines(), QStringList{" Clean"});
}

TEST(Flash, EraseFailures) {
    struct Case {
        const char* name;
        std::uint8_t maker, device;
        bool eraseFails, silent;
        std::uint16_t buttons;
        bool ok;
        QStringList lines;
        Bytes frames;
    };
    const std::uint16_t noErase = kAllButtons & ~(1u << BtnErase);
    const std::vector<Case> cases = {
        {"refused", 0x1F, 0xDC, true, false, kAllButtons, false, {" Erase Error"}, kEraseFrame},
        {"pre-erase refused", 0x89, 0x18, true, false, kAllButtons, false, {" Erase Error"}, kEraseFrame},
        // A silent programmer costs one read, not one per progress reply.
        {"silent", 0x1F, 0xDC, false, true, kAllButtons, false, {" Erase Error"}, kEraseFrame},
        {"pre-erase silent", 0x89, 0x18, false, true, kAllButtons, false, {" Erase Error"}, kEraseFrame},
        {"no erase allowed", 0x1F, 0xDC, false, false, noErase, true, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FlashRig r({.letter = 'F', .maker = c.maker, .device = c.device, .buttons = c.buttons});
        r.st.settings.IdCheckOption = 0;
        r.sim.chip()->load(0, pattern(0x100));
        r.sim.faults().eraseFails = c.eraseFails;
        r.sim.faults().silent = c.silent;
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(run(r, 'E'), c.ok);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
        EXPECT_EQ(r.host.lines(), c.lines);
        EXPECT_EQ(r.sim.hostBytes(), c.frames);
        EXPECT_FALSE(r.sim.chip()->isBlank());
        EXPECT_EQ(r.host.closeCount(), 1);
    }
}

TEST(Flash, ProtectedBlocksAreReportedAndSkipTheBlankCheck) {
    struct Case {
        const char* name;
        std::vector<std::size_t> protectedBlocks;
        QStringList lines;
        Bytes frames;
    };
    const std::vector<Case> cases = {
        {"none", {}, {" Clean"}, kChipIdFrame + kEraseFrame + kReadFrame},
        {"two",
         {2, 5},
         {" Block 2: Protected", " Block 5: Protected", " Whole chip can't be erased!!"},
         kChipIdFrame + kEraseFrame},
        {"all",
         {0, 1, 2, 3, 4, 5, 6, 7},
         {" Block 0: Protected", " Block 1: Protected", " Block 2: Protected", " Block 3: Protected",
          " Block 4: Protected", " Block 5: Protected", " Block 6: Protected", " Block 7: Protected",
          " Whole chip can't be erased!!"},
         kChipIdFrame + kEraseFrame},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FlashRig r({.letter = 'F', .lastAddress = 0xFFFF, .maker = 0x01, .device = 0xA4});
        const Bytes content = pattern(0x10000, 8);
        r.sim.chip()->load(0, content);
        for (std::size_t b : c.protectedBlocks) r.chip().setBlockProtected(b, true);
        EXPECT_TRUE(run(r, 'E'));
        EXPECT_EQ(r.host.lines(), c.lines);
        EXPECT_EQ(r.sim.hostBytes(), c.frames);
        EXPECT_EQ(r.st.ChipErasable, c.protectedBlocks.empty() ? 1 : 0);
        // The protected blocks keep their contents; the rest is erased.
        const Bytes after = chipMemory(r);
        for (std::size_t b = 0; b < 8; ++b) {
            const bool kept = std::find(c.protectedBlocks.begin(), c.protectedBlocks.end(), b) != c.protectedBlocks.end();
            const auto from = std::ptrdiff_t(b * 0x2000), to = std::ptrdiff_t((b + 1) * 0x2000);
            EXPECT_EQ(Bytes(after.begin() + from, after.begin() + to),
                      kept ? Bytes(content.begin() + from, content.begin() + to) : Bytes(0x2000, 0xFF))
                << "block " << b;
        }
        EXPECT_EQ(r.host.closeCount(), 1);
        EXPECT_TRUE(r.sim.protocolErrors().empty());
    }
}

TEST(Flash, RetryReportsTheChipInTheSocketAgain) {
    // A chip that answers 0x01 0xA4 where the record expects 0xA5: its reports
    // come with each answer, and the block unprotected before Retry no longer counts.
    FlashRig r({.letter = 'F', .lastAddress = 0xFFFF, .maker = 0x01, .device = 0xA5});
    auto chip = std::make_shared<sim::FlashChip>(
        sim::FlashChip::Params{.family = 'F', .size = 0x10000, .blank = 0xFF, .maker = 0x01, .device = 0xA4});
    chip->setBlockProtected(3, true);
    chip->load(0, pattern(0x100));
    r.sim.insertChip(chip);
    r.host.queueAnswer(Answer::Retry);
    r.host.queueAnswer(Answer::Ignore);
    r.host.onQuestion = [&] { chip->setBlockProtected(3, false); };
    EXPECT_TRUE(run(r, 'E'));
    EXPECT_EQ(r.host.questions(), QStringList(2, "CHIP_ID Error|ID: 30=1 31=A4 "));
    EXPECT_EQ(r.host.lines(), (QStringList{" Block 3: Protected", " Whole chip can't be erased!!", " Clean"}));
    EXPECT_EQ(r.sim.hostBytes(), kChipIdFrame + kChipIdFrame + kEraseFrame + kReadFrame);
    EXPECT_EQ(r.st.ChipErasable, 1);
    EXPECT_TRUE(chip->isBlank());
}

TEST(Flash, BootBlockReport) {
    for (bool locked : {true, false}) {
        SCOPED_TRACE(locked);
        FlashRig r({.letter = 'F', .pageCode = 0x83});
        r.chip().setBootBlockProtected(locked);
        EXPECT_TRUE(run(r, 'R'));
        EXPECT_EQ(r.host.lines(), (QStringList{locked ? " Boot Block Protected!" : " Boot Block Not Protected",
                                               " Read Completed"}));
        EXPECT_EQ(r.st.ChipErasable, 1);
    }
}

TEST(Flash, NoChipIdCheckSendsNoFrameAndLeavesTheChipErasable) {
    FlashRig r({.letter = 'F', .lastAddress = 0xFFFF, .maker = 0x01, .device = 0xA4});
    r.st.settings.IdCheckOption = 0;
    r.chip().setBlockProtected(0, true);
    r.st.ChipErasable = 0;  // left over from an earlier run
    EXPECT_TRUE(run(r, 'B'));
    EXPECT_EQ(r.sim.hostBytes(), kReadFrame);
    EXPECT_EQ(r.host.lines(), QStringList{" Clean"});
    EXPECT_EQ(r.st.ChipErasable, 1);
}

TEST(Flash, WrongSignatureAsksTheUser) {
    for (const SignatureAnswerCase& c : signatureAnswerCases()) {
        SCOPED_TRACE(c.name);
        FlashRig r;
        r.sim.faults().signature = Bytes{0xBF, 0x5D};
        for (Answer a : c.answers) r.host.queueAnswer(a);
        r.st.OperationCode = 'R';
        EXPECT_EQ(FlashCheckChipId(r.st), c.goesOn);
        EXPECT_EQ(r.host.questions(), QStringList(c.boxes, "CHIP_ID Error|ID: 30=BF 31=5D "));
        Bytes frames;
        for (int i = 0; i < c.boxes; ++i) frames = frames + kChipIdFrame;
        EXPECT_EQ(r.sim.hostBytes(), frames);
        EXPECT_TRUE(r.host.lines().isEmpty());
    }
}

TEST(Flash, EachSignatureByteIsCompared) {
    for (const Bytes& signature : {Bytes{0x1F, 0x5D}, Bytes{0xBF, 0xDC}}) {
        FlashRig r;  // 0x1F 0xDC
        r.sim.faults().signature = signature;
        r.host.queueAnswer(Answer::Abort);
        EXPECT_FALSE(FlashCheckChipId(r.st));
        EXPECT_EQ(r.host.questions().size(), 1);
    }
}

TEST(Flash, AbortEndsTheWaitForTheChipId) {
    FlashRig r;
    SilentLinePort port(r);
    r.st.usb = &port;
    r.sim.faults().silent = true;
    r.startRun('R');
    EXPECT_FALSE(FlashCheckChipId(r.st));
    ASSERT_TRUE(port.pressed) << "the check ended before the line went silent";
    EXPECT_LE(port.afterAbort.count(), (kAbortGrace + std::chrono::milliseconds(10)).count());
    EXPECT_TRUE(r.host.lines().isEmpty());
}

TEST(Flash, SilentProgrammerFailsTheChipIdCheck) {
    FlashRig r;
    r.sim.faults().silent = true;
    r.st.OperationCode = 'R';
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(FlashCheckChipId(r.st));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
    EXPECT_EQ(r.host.lines(), QStringList{" Error with read"});
    EXPECT_TRUE(r.host.questions().isEmpty());
}

TEST(Flash, SilentProgrammerDuringProgramEndsAfterOneBlock) {
    FlashRig r;
    r.st.settings.IdCheckOption = 0;
    r.sim.faults().silent = true;
    r.fillImage(pattern(0x8000));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(run(r, 'P'));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_EQ(r.host.lines(), QStringList{" Error with read"});
    EXPECT_EQ(r.sim.hostWrites().size(), 2u) << "the frame and the first block";
    EXPECT_EQ(r.host.closeCount(), 1);
}

TEST(Flash, ImageSmallerThanTheChipSendsNothing) {
    for (char op : {'R', 'V', 'P'}) {
        SCOPED_TRACE(op);
        FlashRig r;
        r.st.settings.IdCheckOption = 0;
        r.st.buf.replace(0x4000);
        EXPECT_FALSE(run(r, op));
        EXPECT_TRUE(r.host.lines().contains(" Device doesn't fit in allocated buffer"));
        EXPECT_TRUE(r.sim.hostBytes().empty());
        EXPECT_EQ(r.host.closeCount(), 1);
    }
}

TEST(Flash, AbortEndsEachPhaseQuietly) {
    struct Case {
        const char* name;
        char op;
        std::uint8_t maker, device;
        int abortAt;
        int nth;
        Bytes frames;  // what the programmer saw, "Stop" included
        QStringList lines;
    };
    const Bytes content = pattern(0x8000, 17);
    const QString verifying = " Verifying @ Vdd = 5.0V ";
    const std::vector<Case> cases = {
        {"read", 'R', 0x1F, 0xDC, 0x1000, 1, kReadFrame + word("Stop"), {}},
        {"verify", 'V', 0x1F, 0xDC, 0x1000, 1, kReadFrame + word("Stop"), {verifying}},
        {"blank check", 'B', 0x1F, 0xDC, 0x1000, 1, kReadFrame + word("Stop"), {}},
        {"pre-erase", 'E', 0x89, 0x18, 0x1000, 1, kEraseFrame + word("Stop"), {}},
        {"blank check after erase", 'E', 0x1F, 0xDC, 0x1000, 1, kEraseFrame + kReadFrame + word("Stop"), {}},
        // Program goes on sending what the programmer was promised, then stops.
        {"program", 'P', 0x1F, 0xDC, 0x1000, 1, kProgramFrame + content, {}},
        {"verify after program", 'P', 0x1F, 0xDC, 0x1000, 2, kProgramFrame + content + kReadFrame,
         {" Programmed", verifying}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FlashRig r({.letter = 'F', .maker = c.maker, .device = c.device});
        r.st.settings.IdCheckOption = 0;
        r.fillImage(content);
        if (c.op == 'V') r.sim.chip()->load(0, content);
        r.abortAtGauge(c.abortAt, c.nth);
        const auto started = std::chrono::steady_clock::now();
        run(r, c.op);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
        EXPECT_EQ(r.st.RunFlag.load(), 0);
        EXPECT_EQ(r.st.ErrorFlag.get(), 0) << "an Abort is not a failure";
        EXPECT_EQ(r.host.lines(), c.lines);
        EXPECT_EQ(r.sim.hostBytes(), c.frames);
        EXPECT_EQ(r.host.closeCount(), 1);
    }
}

TEST(Flash, WorkerRunsTheFamilyForBothKinds) {
    for (char letter : {'E', 'F'}) {
        SCOPED_TRACE(letter);
        EXPECT_TRUE(familyHasRoutine(letter));
        FlashRig r({.letter = letter, .lastAddress = 0x0FFF});
        const Bytes content = pattern(0x1000, 2);
        r.sim.chip()->load(0, content);
        r.st.ChipErasable = 0;
        r.st.OperationCode = 'R';
        r.st.RunFlag = 1;
        ExecuteOperation(r.st);
        EXPECT_EQ(r.st.ErrorFlag.get(), 0);
        EXPECT_EQ(r.st.ChipErasable, 1);
        EXPECT_EQ(r.image(0, 0x1000), content);
        EXPECT_EQ(r.host.lines(), QStringList{" Read Completed"});
    }
}

namespace {

// The main window with a part of the flash family file selected and a blank
// chip of its kind in the socket.
class FlashWindowTest : public MainWindowRig {
protected:
    void selectFirst(char letter) {
        const auto found = findDevice(1, [letter](const DeviceRecord& d) { return d.FamilyLetter == letter; });
        ASSERT_TRUE(found) << "no '" << letter << "' part in the sample data";
        select(found->place);
        ASSERT_TRUE(st().dev());
        ASSERT_EQ(st().dev()->FamilyLetter, letter);
        clearLogs();
    }
};

}  // namespace

TEST_F(FlashWindowTest, ToolbarRunsProgramEraseAndBlankCheck) {
    for (char letter : {'E', 'F'}) {
        SCOPED_TRACE(letter);
        selectFirst(letter);
        ASSERT_TRUE(w().SB_Prog->isEnabled());
        ASSERT_TRUE(w().SB_Erase->isEnabled());
        const std::size_t n = std::size_t(st().dev()->LastAddress) + 1;
        const Bytes content = pattern(n, 31);
        std::copy(content.begin(), content.end(), st().buf.DeviceBuffer.begin());
        w().BitBtn1->click();  // counters reset

        w().SB_Prog->click();
        QStringList lines = w().memoLines();
        EXPECT_TRUE(lines.contains(" Programmed")) << lines.join('\n').toStdString();
        EXPECT_TRUE(lines.contains(" Verify OK"));
        EXPECT_EQ(w().ProgCorrect->text(), "1");
        EXPECT_EQ(sim_.chip()->memory(), content);

        w().Memo1->clear();
        w().SB_Erase->click();
        lines = w().memoLines();
        EXPECT_TRUE(lines.contains(" Clean")) << lines.join('\n').toStdString();
        EXPECT_TRUE(sim_.chip()->isBlank());
        EXPECT_TRUE(w().SB_Erase->isEnabled());
        EXPECT_TRUE(sim_.protocolErrors().empty());
    }
}
