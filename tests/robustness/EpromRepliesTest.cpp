// EPROM operations through the worker's body against a programmer whose
// answers go wrong in seeded ways: replies that trickle in, cut or replaced
// reply words, a wrong signature, streams that stop, cells that will not
// program, chips of any content. Every run ends with its failure line and
// no success line after it, or with success and an image and chip that
// really agree; nothing is stored outside the device's part of the image.
#include <gtest/gtest.h>

#include "Fuzz.h"
#include "families/Eprom.h"
#include "families/FamilyCommon.h"
#include "families/FamilyRig.h"
#include "link/Replies.h"
#include "operations/Dispatch.h"
#include "sim/EpromChip.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

const QString kPassMark = "<next chip>";

bool isFailureLine(const QString& l) {
    return l.startsWith("  Compare Error @ ") || l == " Error with read" || l == " Erase Error" ||
           l == " Device doesn't fit in allocated buffer" || l.endsWith(" not blank") || l == "Over Current!" ||
           l == " ** unknown ERROR **";
}

bool isSuccessLine(const QString& l) {
    return l == " Read Completed" || l == " Verify OK" || l == " Programmed" || l == " Clean" || l == " Erased";
}

// A success line may follow a failure only where an erase mended it: the
// blank check before programming found the chip not blank, the chip was
// erased, then programmed and verified. A blank check whose stream broke off
// proves nothing about the chip and is never a reason to erase it.
void expectNoSuccessAfterFailure(const QStringList& lines) {
    int lastFailure = -1;
    bool erasedSince = false;
    for (int i = 0; i < lines.size(); ++i) {
        const QString& l = lines[i];
        if (l == kPassMark) {
            lastFailure = -1;
            continue;
        }
        if (isFailureLine(l)) {
            lastFailure = i;
            erasedSince = false;
        } else if (l == " Erased") {
            erasedSince = lastFailure >= 0 && lines[lastFailure].endsWith(" not blank");
        } else if (isSuccessLine(l) && lastFailure >= 0) {
            ASSERT_TRUE(erasedSince) << "\"" << l.toStdString() << "\" after \"" << lines[lastFailure].toStdString()
                                     << "\" in\n" << lines.join("\n").toStdString();
        }
    }
}

// The final success line of each operation, when it has one.
QString finalLine(char op, bool eraseAllowed) {
    switch (op) {
    case 'R': return " Read Completed";
    case 'V': case 'P': return " Verify OK";
    case 'B': return " Clean";
    case 'E': return eraseAllowed ? " Clean" : QString();
    default: return QString();
    }
}

Bytes slice(const Bytes& image, std::size_t first, std::size_t n, unsigned step) {
    Bytes out;
    for (std::size_t i = 0; i < n; ++i) out.push_back(image[first + i * step]);
    return out;
}

}  // namespace

TEST(EpromReplies, EveryOperationAgainstAFaultyProgrammer) {
    Rng r(41);
    int succeeded = 0, failed = 0;
    for (int round = 0; round < 70; ++round) {
        const char letter = r.chance(1, 4) ? 'O' : 'R';
        const std::uint32_t last = letter == 'O' ? 0x3FF : r.pick({0xFFu, 0x7FFu});
        const bool eraseAllowed = r.chance(3, 4);
        const DeviceRecord rec = RecordImage(letter)
                                     .name("27TEST")
                                     .lastAddress(last)
                                     .signature(0x20, 0x0D)
                                     .blankByte(0xFF)
                                     .buttons(eraseAllowed ? kAllButtons : std::uint16_t(kAllButtons & ~(1u << BtnErase)))
                                     .build();
        FamilyRig rig(rec);
        AppState& st = rig.st;
        const char op = r.pick({'R', 'V', 'P', 'E', 'B'});
        const bool oddEven = letter == 'R' && r.chance(1, 4);
        std::string describe = std::string("round ") + std::to_string(round) + " op " + op + " family " + letter;
        if (oddEven) {
            st.OddEvenMode = 1;
            allocateOddEven(st.buf, rec);
            describe += " odd/even";
        }
        const std::size_t n = std::size_t(last) + 1;
        const unsigned step = oddEven ? 2 : 1;
        st.settings.IdCheckOption = r.chance(1, 2);
        st.settings.ProgramSteps = std::uint8_t(r.below(4));

        // The image, and the chips: blank, holding the image, noise, or the image with a few bytes off.
        const Bytes image = r.vec(st.buf.size());
        rig.fillImage(image);
        std::vector<std::shared_ptr<sim::Chip>> chips;
        for (int pass = 0; pass < (oddEven ? 2 : 1); ++pass) {
            auto chip = sim::EpromChip::blankFor(rec);
            switch (r.below(4)) {
            case 0: break;
            case 1: chip->load(0, slice(image, std::size_t(pass), n, step)); break;
            case 2: chip->load(0, r.vec(n)); break;
            default: {
                Bytes content = slice(image, std::size_t(pass), n, step);
                content[r.below(n)] ^= std::uint8_t(1 + r.below(255));
                chip->load(0, content);
                break;
            }
            }
            chips.push_back(chip);
        }
        rig.sim.insertChip(chips[0]);
        rig.host.onMessage = [&](const QString& text) {
            // The odd/even prompts: the other chip goes into the socket.
            rig.host.memoAdd(kPassMark);
            rig.sim.insertChip(chips[text.contains("odd") ? 1 : 0]);
        };

        // The faults; none of them leaves the programmer silent.
        sim::FaultPlan& f = rig.sim.faults();
        static const char* const eraseWords[] = {"Dome", "Don", "D", "DoneDD", "Fail", "done"};
        // A longer probe answer is left out: its extra byte would open the
        // next read stream, which no check can tell from device data.
        static const char* const probeWords[] = {"Goo", "OCER", "good", "Good"};
        if (r.chance(1, 3)) f.splitReplies = 1 + r.below(5), describe += " split";
        if (r.chance(1, 5)) {
            f.signature = r.vec(r.below(3));
            for (int i = 0, k = int(r.below(4)); i < k; ++i)
                rig.host.queueAnswer(r.pick({Answer::Abort, Answer::Retry, Answer::Ignore}));
            describe += " signature";
        }
        if (r.chance(1, 5)) f.wrongReply[sim::Reply::EraseDone] = r.pick(eraseWords), describe += " erase-word";
        if (r.chance(1, 8)) f.eraseFails = true, describe += " erase-fails";
        if (r.chance(1, 10)) f.shortReplies = 1 + r.below(3), describe += " short";
        if (r.chance(1, 10)) f.wrongReply[sim::Reply::Probe] = r.pick(probeWords), describe += " probe-word";
        if (r.chance(1, 5)) {
            f.stickBit(std::uint32_t(r.below(n)), unsigned(r.below(8)));
            describe += " stuck-bit";
        }
        // A stream that stops is seen at once by the plain reads of verify and
        // blank check; a read stream would wait out its poll bound, so not there.
        if (op != 'R' && r.chance(1, 5)) f.streamStallsAfter = r.below(n), describe += " stall";
        SCOPED_TRACE(describe);

        st.OperationCode = op;
        st.RunFlag = 1;
        st.ErrorFlag = 0;
        ExecuteOperation(st);

        const QStringList lines = rig.host.lines();
        expectNoSuccessAfterFailure(lines);
        if (HasFatalFailure()) return;
        ASSERT_LE(st.buf.BufferCursor, st.buf.size());
        ASSERT_GE(rig.host.closeCount(), 1);

        // Each chip's part of the run, its lines between the prompts.
        QList<QStringList> parts{{}};
        for (const QString& l : lines) {
            if (l == kPassMark)
                parts.push_back({});
            else
                parts.back() << l;
        }
        // Odd/even runs prompt before each chip: nothing may come before the first prompt.
        if (parts.size() > 1) {
            ASSERT_TRUE(parts.front().isEmpty()) << lines.join("\n").toStdString();
            parts.pop_front();
        }
        bool anyPartFailed = false;
        for (const QStringList& part : parts)
            for (const QString& l : part) anyPartFailed |= isFailureLine(l) && !l.endsWith(" not blank");
        const bool ok = st.ErrorFlag.get() == 0;
        (ok ? succeeded : failed)++;
        if (anyPartFailed) {
            ASSERT_FALSE(ok) << lines.join("\n").toStdString();
        }

        const QString last_line = finalLine(op, eraseAllowed);
        for (qsizetype pass = 0; pass < parts.size(); ++pass) {
            const QStringList& part = parts[pass];
            if (ok && !last_line.isEmpty()) {
                ASSERT_TRUE(part.contains(last_line)) << lines.join("\n").toStdString();
            }
            const bool partOk = !last_line.isEmpty() && part.contains(last_line) &&
                                std::none_of(part.begin(), part.end(), isFailureLine);
            if (!partOk) continue;
            // A chip's part that succeeded: the image and the chip agree where they should.
            const Bytes chip = chips[std::size_t(pass)]->memory();
            const Bytes mine = slice(st.buf.DeviceBuffer, std::size_t(pass), n, step);
            if (op == 'R' || op == 'V' || op == 'P') {
                ASSERT_EQ(mine, chip) << "pass " << pass;
            }
            if (op == 'B' || op == 'E') {
                ASSERT_TRUE(chips[std::size_t(pass)]->isBlank());
            }
        }

        // Nothing stored outside the device's part of the image.
        const std::size_t end = oddEven ? 2 * n : n;
        ASSERT_TRUE(std::equal(st.buf.DeviceBuffer.begin() + std::ptrdiff_t(end), st.buf.DeviceBuffer.end(),
                               image.begin() + std::ptrdiff_t(end)));
        if (op != 'R') {
            ASSERT_EQ(st.buf.DeviceBuffer, image) << "only a read changes the image";
        }
    }
    EXPECT_GT(succeeded, 10);
    EXPECT_GT(failed, 10);
}

TEST(EpromReplies, AReadStreamThatStopsEndsWithAReadErrorAndKeepsWhatCame) {
    // The read stream's silence bound is shortened here; the routine's own is
    // the same loop with more polls.
    for (const std::uint64_t stallAfter : {0ull, 1ull, 300ull, 0x7FEull}) {
        for (const bool split : {false, true}) {
            SCOPED_TRACE("stall after " + std::to_string(stallAfter) + (split ? " split" : ""));
            FamilyRig rig(RecordImage('R').name("27TEST").lastAddress(0x7FF).blankByte(0xFF).buttons(kAllButtons).build());
            AppState& st = rig.st;
            const Bytes content = pattern(0x800, 7);
            rig.sim.chip()->load(0, content);
            rig.sim.faults().streamStallsAfter = stallAfter;
            if (split) rig.sim.faults().splitReplies = 3;
            const Bytes before(st.buf.DeviceBuffer.begin(), st.buf.DeviceBuffer.end());
            st.ErrorFlag = 0;
            st.buf.BufferCursor = 0;
            writeFrame(st, proto::frame('E', 'R'));
            EXPECT_FALSE(receiveStream(st, 0x800, 1, 200));
            EXPECT_EQ(rig.host.lines(), QStringList{" Error with read"});
            EXPECT_NE(st.ErrorFlag.get(), 0);
            EXPECT_EQ(st.buf.BufferCursor, stallAfter);
            EXPECT_EQ(rig.image(0, stallAfter), Bytes(content.begin(), content.begin() + std::ptrdiff_t(stallAfter)));
            EXPECT_TRUE(std::equal(st.buf.DeviceBuffer.begin() + std::ptrdiff_t(stallAfter), st.buf.DeviceBuffer.end(),
                                   before.begin() + std::ptrdiff_t(stallAfter)));
        }
    }
}
