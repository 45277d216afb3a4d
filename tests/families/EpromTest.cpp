// EPROM and OTP operations end to end on the simulated programmer.
#include <gtest/gtest.h>

#include <chrono>

#include "FamilyRig.h"
#include "families/Eprom.h"
#include "link/Replies.h"
#include "sim/EpromChip.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

const Bytes kChipIdFrame = frameBytes('E', 'I');
const Bytes kReadFrame = frameBytes('E', 'R');
const Bytes kProgramFrame = frameBytes('E', 'P');
const Bytes kEraseFrame = word("EE00");

DeviceRecord eprom(char letter = 'R', std::uint32_t lastAddress = 0x7FFF, std::uint8_t blank = 0xFF,
                   std::uint16_t buttons = kAllButtons) {
    return RecordImage(letter)
        .name(letter == 'O' ? "27C1024" : "27C256")
        .lastAddress(lastAddress)
        .signature(0x20, 0x0D)
        .blankByte(blank)
        .buttons(buttons)
        .build();
}

// What the worker does for these kinds: the check (not in odd/even mode),
// then the operation routine. True when the run ended without a failure.
bool run(FamilyRig& r, char op) {
    r.startRun(op);
    r.sim.clearLog();
    if (!r.st.OddEvenMode && !EpromCheckChipId(r.st)) {
        r.st.ErrorFlag.increment();
        return false;
    }
    EpromDoOperation(r.st);
    return r.st.ErrorFlag.get() == 0;
}

std::shared_ptr<sim::Chip> chipWith(const DeviceRecord& rec, const Bytes& content) {
    auto chip = sim::EpromChip::blankFor(rec);
    chip->load(0, content);
    return chip;
}

Bytes chipMemory(const FamilyRig& r) { return r.sim.chip()->memory(); }

Bytes everyOther(const Bytes& b, std::size_t first) {
    Bytes out;
    for (std::size_t i = first; i < b.size(); i += 2) out.push_back(b[i]);
    return out;
}

}  // namespace

TEST(Eprom, ReadFillsTheImageWithTheChip) {
    struct Case {
        char letter;
        std::size_t trickle;  // bytes the stream shows per poll, 0 = all at once
    };
    for (const Case& c : {Case{'R', 0}, Case{'O', 0}, Case{'R', 3}}) {
        SCOPED_TRACE(std::string(1, c.letter) + (c.trickle ? " trickle" : ""));
        FamilyRig r(eprom(c.letter, 0x3FFF));
        if (c.trickle) r.sim.faults().splitReplies = c.trickle;
        const Bytes content = pattern(0x4000, 7);
        r.sim.insertChip(chipWith(r.dev(), content));
        EXPECT_TRUE(run(r, 'R'));
        EXPECT_EQ(r.image(0, 0x4000), content);
        EXPECT_EQ(r.sim.hostBytes(), kChipIdFrame + kReadFrame);
        EXPECT_EQ(r.host.lines(), QStringList{" Read Completed"});
        EXPECT_EQ(r.host.closeCount(), 1);
        EXPECT_EQ(r.host.checksum(), r.shownChecksum());
        EXPECT_EQ(r.st.TransferCount, 0x4000u);
        EXPECT_TRUE(r.sim.protocolErrors().empty());
    }
}

TEST(Eprom, BlankCheck) {
    struct Case {
        char letter;
        std::uint8_t blank;
        bool dirty;
        QStringList lines;
        Bytes frames;
    };
    const std::vector<Case> cases = {
        {'R', 0xFF, false, {" Clean"}, kChipIdFrame + kReadFrame},
        {'R', 0xFF, true, {" 27C256 not blank"}, kChipIdFrame + kReadFrame + word("ErrB")},
        // A 16-bit part erases to BlankByte, 0xFF in each word.
        {'O', 0x3F, false, {" Clean"}, kChipIdFrame + kReadFrame},
        {'O', 0xFF, true, {" 27C1024 not blank"}, kChipIdFrame + kReadFrame + word("ErrB")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(1, c.letter) + (c.dirty ? " dirty" : " blank"));
        FamilyRig r(eprom(c.letter, 0x1FFF, c.blank));
        if (c.dirty) r.sim.chip()->load(0x1234, Bytes{0x00});
        EXPECT_EQ(run(r, 'B'), !c.dirty);
        EXPECT_EQ(r.host.lines(), c.lines);
        EXPECT_EQ(r.sim.hostBytes(), c.frames);
        EXPECT_EQ(r.host.closeCount(), 1);
    }
}

TEST(Eprom, ProgramSendsBlocksAndVerifies) {
    for (char letter : {'R', 'O'}) {
        SCOPED_TRACE(letter);
        FamilyRig r(eprom(letter, 0x7FFF));
        const Bytes content = pattern(0x8000, 3);
        r.fillImage(content);
        const QString before = r.shownChecksum();
        EXPECT_TRUE(run(r, 'P'));
        EXPECT_EQ(chipMemory(r), content);
        EXPECT_EQ(r.host.lines(), (QStringList{" Programmed", " Verifying @ Vdd = 5.0V ", " Verify OK"}));
        EXPECT_EQ(r.sim.hostBytes(), kChipIdFrame + kProgramFrame + content + kReadFrame);
        // Two blocks: 0x6000 bytes, then the rest, each in one write after a status call.
        const auto writes = r.sim.hostWrites();
        ASSERT_EQ(writes.size(), 5u);
        EXPECT_EQ(writes[2].size(), 0x6000u);
        EXPECT_EQ(writes[3].size(), 0x2000u);
        const auto calls = r.sim.driverCalls();
        const std::vector<std::string> program(calls.begin() + 1, calls.begin() + 7);
        EXPECT_EQ(program, (std::vector<std::string>{"timeouts 10000 10000", "write 4", "status", "write 24576",
                                                     "status", "write 8192"}));
        EXPECT_EQ(r.host.captions(), (QStringList{"Program", "Verify"}));
        EXPECT_EQ(r.host.checksum(), before);
        EXPECT_EQ(r.host.closeCount(), 1);
        EXPECT_TRUE(r.sim.protocolErrors().empty());
    }
}

TEST(Eprom, VerifyMismatchShowsTheCompareLine) {
    FamilyRig r(eprom());
    const Bytes content = pattern(0x8000, 9);
    r.fillImage(content);
    Bytes chip = content;
    chip[0x1234] = std::uint8_t(content[0x1234] ^ 0x5A);
    r.sim.insertChip(chipWith(r.dev(), chip));
    EXPECT_FALSE(run(r, 'V'));
    EXPECT_EQ(r.host.lines(),
              (QStringList{" Verifying @ Vdd = 5.0V ",
                           QString::asprintf("  Compare Error @ 0x01234 Ram = 0x%.2X 27C256 = 0x%.2X", content[0x1234],
                                             chip[0x1234])}));
    EXPECT_EQ(r.sim.hostBytes(), kChipIdFrame + kReadFrame + word("ErrV"));
    EXPECT_EQ(r.host.closeCount(), 1);
}

TEST(Eprom, ProgramFailureReportsTheChipAddress) {
    struct Case {
        std::uint32_t address;
        const char* line;
        std::size_t blocksSent;
        bool trickle;  // the reply arrives a byte per poll
    };
    const std::vector<Case> cases = {
        {0x0000, "  Compare Error @ 0x00000 Ram = 0x00 Device = 0x01", 1, false},
        {0x6001, "  Compare Error @ 0x06001 Ram = 0x00 Device = 0x01", 2, false},
        {0x0005, "  Compare Error @ 0x00005 Ram = 0x00 Device = 0x01", 1, true},
        {0x5FFF, "  Compare Error @ 0x05FFF Ram = 0x00 Device = 0x01", 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        FamilyRig r(eprom('R', 0xFFFF));
        if (c.trickle) r.sim.faults().splitReplies = 1;
        std::fill(r.st.buf.DeviceBuffer.begin(), r.st.buf.DeviceBuffer.begin() + 0x10000, 0x00);
        r.sim.faults().stickBit(c.address, 0);
        EXPECT_FALSE(run(r, 'P'));
        EXPECT_EQ(r.host.lines(), QStringList{c.line});
        // The blocks after the failing one are not sent, and nothing is verified.
        EXPECT_EQ(r.sim.hostWrites().size(), 2 + c.blocksSent);
        EXPECT_EQ(r.host.closeCount(), 1);
    }
}

TEST(Eprom, Erase) {
    struct Case {
        const char* name;
        std::uint16_t buttons;
        bool eraseFails;
        bool ok;
        QStringList lines;
        Bytes frames;
    };
    const std::vector<Case> cases = {
        {"erased and checked", kAllButtons, false, true, {" Clean"}, kChipIdFrame + kEraseFrame + kReadFrame},
        {"erase refused", kAllButtons, true, false, {" Erase Error"}, kChipIdFrame + kEraseFrame},
        {"no erase allowed", kAllButtons & ~(1u << BtnErase), false, true, {}, kChipIdFrame},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FamilyRig r(eprom('R', 0x7FFF, 0xFF, c.buttons));
        r.sim.chip()->load(0, pattern(0x100));
        r.sim.faults().eraseFails = c.eraseFails;
        EXPECT_EQ(run(r, 'E'), c.ok);
        EXPECT_EQ(r.host.lines(), c.lines);
        EXPECT_EQ(r.sim.hostBytes(), c.frames);
        EXPECT_EQ(r.host.captions(), QStringList{"Erase"});
        EXPECT_EQ(r.sim.chip()->isBlank(), c.ok && c.buttons == kAllButtons);
        EXPECT_EQ(r.host.closeCount(), 1);
    }
}

TEST(Eprom, BlankCheckBeforeProgram) {
    const Bytes content = pattern(0x8000, 11);
    const Bytes dirt = Bytes(0x100, 0x00);
    struct Case {
        const char* name;
        std::uint8_t steps;
        bool dirty;
        bool ok;
        QStringList lines;
        Bytes frames;
    };
    const Bytes programAndVerify = kProgramFrame + content + kReadFrame;
    const QStringList programmed{" Programmed", " Verifying @ Vdd = 5.0V ", " Verify OK"};
    const std::vector<Case> cases = {
        {"blank chip", 1, false, true, QStringList{" Clean"} + programmed,
         kChipIdFrame + kReadFrame + programAndVerify},
        {"not blank, auto-erase", 3, true, true, QStringList{" 27C256 not blank", " Erased"} + programmed,
         kChipIdFrame + kReadFrame + word("ErrB") + kEraseFrame + programAndVerify},
        // Nothing to program: no program frame either.
        {"not blank, no auto-erase", 1, true, false, {" 27C256 not blank"},
         kChipIdFrame + kReadFrame + word("ErrB")},
        {"no blank check", 0, false, true, programmed, kChipIdFrame + programAndVerify},
        // A chip that cannot be read is not taken for a used one: no erase, no data.
        {"read breaks off, auto-erase", 3, false, false, {" Error with read"}, kChipIdFrame + kReadFrame},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FamilyRig r(eprom());
        r.st.settings.ProgramSteps = c.steps;
        if (c.dirty) r.sim.chip()->load(0, dirt);
        if (c.lines == QStringList{" Error with read"}) r.sim.faults().streamStallsAfter = 0x100;
        r.fillImage(content);
        EXPECT_EQ(run(r, 'P'), c.ok);
        EXPECT_EQ(r.host.lines(), c.lines);
        EXPECT_EQ(r.sim.hostBytes(), c.frames);
        if (c.ok) {
            EXPECT_EQ(chipMemory(r), content);
        }
        EXPECT_EQ(r.host.closeCount(), 1);
    }
}

TEST(Eprom, BlankCheckBeforeProgramNeedsEraseRight) {
    FamilyRig r(eprom('R', 0x7FFF, 0xFF, kAllButtons & ~(1u << BtnErase)));
    r.st.settings.ProgramSteps = 3;
    r.fillImage(pattern(0x8000));
    EXPECT_TRUE(run(r, 'P'));
    EXPECT_EQ(r.host.lines().first(), " Programmed");
}

TEST(Eprom, OddEvenProgramFillsTwoChips) {
    FamilyRig r(eprom('R', 0x0FFF));
    r.st.OddEvenMode = 1;
    allocateOddEven(r.st.buf, r.dev());
    const Bytes content = pattern(0x2000, 5);
    r.fillImage(content);
    auto even = sim::EpromChip::blankFor(r.dev());
    auto odd = sim::EpromChip::blankFor(r.dev());
    r.host.onMessage = [&](const QString& text) { r.sim.insertChip(text.contains("even") ? even : odd); };

    EXPECT_TRUE(run(r, 'P'));
    EXPECT_EQ(r.host.messages(), (QStringList{"Odd and Even|Insert chip for even bytes and click on okay when ready!",
                                              "Odd and Even|Insert chip for odd bytes and click on okay when ready!"}));
    EXPECT_EQ(even->memory(), everyOther(content, 0));
    EXPECT_EQ(odd->memory(), everyOther(content, 1));
    EXPECT_EQ(r.host.lines().count(" Verify OK"), 2);
    EXPECT_EQ(r.host.closeCount(), 1);

    // Read back into a clean image: the two chips interleave again.
    std::fill(r.st.buf.DeviceBuffer.begin(), r.st.buf.DeviceBuffer.end(), 0xFF);
    EXPECT_TRUE(run(r, 'R'));
    EXPECT_EQ(r.image(0, 0x2000), content);
}

TEST(Eprom, OddEvenFailsWhenEitherChipFails) {
    for (int failing : {0, 1}) {
        SCOPED_TRACE(failing);
        FamilyRig r(eprom('R', 0x0FFF));
        r.st.OddEvenMode = 1;
        allocateOddEven(r.st.buf, r.dev());
        const Bytes content = pattern(0x2000, 13);
        r.fillImage(content);
        auto even = chipWith(r.dev(), everyOther(content, 0));
        auto odd = chipWith(r.dev(), everyOther(content, 1));
        (failing == 0 ? even : odd)->load(0x10, Bytes{std::uint8_t(content[0x20 + failing] ^ 1)});
        r.host.onMessage = [&](const QString& text) { r.sim.insertChip(text.contains("even") ? even : odd); };
        EXPECT_FALSE(run(r, 'V'));
        EXPECT_EQ(r.host.messages().size(), 2) << "the second chip is still checked";
        EXPECT_EQ(r.host.lines().count(" Verify OK"), 1);
        EXPECT_TRUE(r.host.lines().filter("Compare Error @ 0x").size() == 1);
        EXPECT_EQ(r.host.closeCount(), 1);
    }
}

TEST(Eprom, OddEvenEraseAndBlankCheckRunOnce) {
    for (char op : {'E', 'B'}) {
        FamilyRig r(eprom('R', 0x0FFF));
        r.st.OddEvenMode = 1;
        allocateOddEven(r.st.buf, r.dev());
        EXPECT_TRUE(run(r, op));
        EXPECT_TRUE(r.host.messages().isEmpty());
        EXPECT_EQ(r.host.lines(), QStringList{" Clean"});
    }
}

TEST(Eprom, OddEvenNeedsRoomForBothChips) {
    FamilyRig r(eprom('R', 0xFFFF));  // a 0x10000-byte image holds one chip only
    r.st.OddEvenMode = 1;
    EXPECT_FALSE(run(r, 'R'));
    EXPECT_EQ(r.host.lines(), QStringList{" Device doesn't fit in allocated buffer"});
    EXPECT_TRUE(r.sim.hostBytes().empty());
}

TEST(Eprom, AbortEndsEachPhaseQuietly) {
    struct Case {
        const char* name;
        char op;
        std::uint8_t steps;
        bool dirty;
        int abortAt;
        int nth;
        Bytes frames;  // what the programmer saw, "Stop" included
        QStringList lines;
    };
    const Bytes content = pattern(0x8000, 17);
    const QString verifying = " Verifying @ Vdd = 5.0V ";
    const std::vector<Case> cases = {
        {"read", 'R', 0, false, 0x1000, 1, kReadFrame + word("Stop"), {}},
        {"verify", 'V', 0, false, 0x1000, 1, kReadFrame + word("Stop"), {verifying}},
        {"blank check", 'B', 0, false, 0x1000, 1, kReadFrame + word("Stop"), {}},
        // Program goes on sending what the programmer was promised, then stops.
        {"program", 'P', 0, false, 0x1000, 1, kProgramFrame + content, {}},
        // Abort during the blank check before Program: no erase and no data.
        {"blank check before program", 'P', 3, true, 0x80, 1, kReadFrame, {}},
        {"verify after program", 'P', 0, false, 0x1000, 2, kProgramFrame + content + kReadFrame,
         {" Programmed", verifying}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FamilyRig r(eprom());
        r.st.settings.IdCheckOption = 0;
        r.st.settings.ProgramSteps = c.steps;
        r.fillImage(content);
        if (c.op == 'V') r.sim.insertChip(chipWith(r.dev(), content));
        if (c.dirty) r.sim.chip()->load(0x4000, Bytes{0x00});
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

TEST(Eprom, AbortInTheFirstOddEvenPassAsksForNoSecondChip) {
    FamilyRig r(eprom('R', 0x0FFF));
    r.st.OddEvenMode = 1;
    allocateOddEven(r.st.buf, r.dev());
    r.abortAtGauge(0x100);
    run(r, 'R');
    EXPECT_EQ(r.host.messages().size(), 1);
    EXPECT_EQ(r.host.closeCount(), 1);
}

TEST(Eprom, WrongSignatureAsksTheUser) {
    for (const SignatureAnswerCase& c : signatureAnswerCases()) {
        SCOPED_TRACE(c.name);
        FamilyRig r(eprom());
        r.sim.faults().signature = Bytes{0x1F, 0xA5};
        for (Answer a : c.answers) r.host.queueAnswer(a);
        r.st.OperationCode = 'R';
        EXPECT_EQ(EpromCheckChipId(r.st), c.goesOn);
        EXPECT_EQ(r.host.questions(), QStringList(c.boxes, "CHIP_ID Error|ID: 30=1F 31=A5 "));
        Bytes frames;
        for (int i = 0; i < c.boxes; ++i) frames = frames + kChipIdFrame;
        EXPECT_EQ(r.sim.hostBytes(), frames);
    }
}

TEST(Eprom, EachSignatureByteIsCompared) {
    for (const Bytes& signature : {Bytes{0x20, 0xA5}, Bytes{0x1F, 0x0D}}) {
        FamilyRig r(eprom());  // 0x20 0x0D
        r.sim.faults().signature = signature;
        r.host.queueAnswer(Answer::Abort);
        EXPECT_FALSE(EpromCheckChipId(r.st));
        EXPECT_EQ(r.host.questions().size(), 1);
    }
}

// ReportError purges the transmit queue, so the word that stops the stream
// must come after it or it may be purged with the report.
TEST(Eprom, StopWordFollowsThePurgeOfTheFailureReport) {
    for (const char* stop : {"ErrV", "ErrB"}) {
        SCOPED_TRACE(stop);
        FamilyRig r(eprom());
        r.fillImage(Bytes(0x8000, 0x00));
        r.sim.chip()->load(0x100, Bytes{0x00});
        EXPECT_FALSE(run(r, stop == std::string("ErrV") ? 'V' : 'B'));
        const auto calls = r.sim.driverCalls();
        ASSERT_GE(calls.size(), 2u);
        EXPECT_EQ(std::vector<std::string>(calls.end() - 2, calls.end()),
                  (std::vector<std::string>{"purge 2", "write 4"}));
        EXPECT_EQ(r.sim.hostWrites().back(), word(stop));
    }
}

// Abort frees the worker within about half a second from every wait: the
// chip-ID answer, the acknowledgements of a Program (whose programmer is
// never told to stop) and a read stream that went quiet.
TEST(Eprom, AbortEndsEveryWaitQuickly) {
    struct Case {
        const char* name;
        char op;
        bool idCheck;
        void (*fault)(sim::FaultPlan&);
    };
    const Case cases[] = {
        {"chip-ID answer", 'R', true, [](sim::FaultPlan& f) { f.silent = true; }},
        {"program acknowledgements", 'P', false, [](sim::FaultPlan& f) { f.silent = true; }},
        {"read stream", 'R', false, [](sim::FaultPlan& f) { f.streamStallsAfter = 0x100; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FamilyRig r(eprom());
        SilentLinePort port(r);
        r.st.usb = &port;
        r.st.settings.IdCheckOption = c.idCheck;
        c.fault(r.sim.faults());
        run(r, c.op);
        ASSERT_TRUE(port.pressed) << "the run ended before the line went silent";
        EXPECT_LE(port.afterAbort.count(), (kAbortGrace + std::chrono::milliseconds(10)).count());
        EXPECT_TRUE(r.host.lines().isEmpty()) << r.host.lines().join('|').toStdString();
    }
}

TEST(Eprom, RetryAfterReseatingTheChipGoesOn) {
    FamilyRig r(eprom());
    r.sim.faults().signature = Bytes{0x00, 0x00};
    r.host.queueAnswer(Answer::Retry);
    // The user reseats the chip before pressing Retry.
    r.host.onQuestion = [&] { r.sim.faults().signature.reset(); };
    EXPECT_TRUE(EpromCheckChipId(r.st));
    EXPECT_EQ(r.host.questions(), QStringList{"CHIP_ID Error|ID: 30=0 31=0 "});
    EXPECT_EQ(r.sim.hostBytes(), kChipIdFrame + kChipIdFrame);
}

TEST(Eprom, NoChipIdCheckWhenSwitchedOff) {
    FamilyRig r(eprom());
    r.st.settings.IdCheckOption = 0;
    r.sim.faults().signature = Bytes{0x00, 0x00};
    EXPECT_TRUE(EpromCheckChipId(r.st));
    EXPECT_TRUE(r.sim.hostBytes().empty());
    EXPECT_TRUE(r.host.questions().isEmpty());
}

TEST(Eprom, SilentProgrammerFailsTheChipIdCheck) {
    FamilyRig r(eprom());
    r.sim.faults().silent = true;
    r.st.OperationCode = 'R';
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(EpromCheckChipId(r.st));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    EXPECT_EQ(r.host.lines(), QStringList{" Error with read"});
    EXPECT_TRUE(r.host.questions().isEmpty());
}

TEST(Eprom, StreamThatGoesSilentEndsTheRead) {
    FamilyRig r(eprom());
    r.st.settings.IdCheckOption = 0;
    r.sim.insertChip(chipWith(r.dev(), pattern(0x8000)));
    r.sim.faults().streamStallsAfter = 0x300;
    EXPECT_FALSE(run(r, 'R'));
    EXPECT_EQ(r.host.lines(), QStringList{" Error with read"});
    EXPECT_EQ(r.image(0, 0x300), pattern(0x300));
    EXPECT_EQ(r.host.closeCount(), 1);
}
