// The host link against a programmer that answers wrongly: identify replies
// of any length, reply words replaced, cut short or trickling in, serial
// numbers of any bytes. The link takes exactly the right word for success,
// reports everything else as its failure, and never reads a byte it was not
// given room for. No case here lets the programmer fall silent, so every
// round ends at once.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "Fuzz.h"
#include "link/Link.h"
#include "link/Protocol.h"
#include "link/UsbPort.h"
#include "sim/SimProgrammer.h"
#include "support/RecordImage.h"
#include "support/TestSupport.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A reply word as a faulty programmer might send it: the right one, a near
// miss, a longer one, or noise; never empty (silence is not what this checks).
std::string wordLike(Rng& r, const char* right, std::size_t minLength = 1) {
    std::string w;
    switch (r.below(6)) {
    case 0: w = right; break;
    case 1: w = std::string(right) + char(r.byte()); break;  // right, with a byte too many
    case 2: w = std::string(right, 3) + char(r.byte()); break;
    case 3: w = std::string(right, 1 + r.below(3)); break;   // cut short
    default: {
        static const char letters[] = "SendGoodOkayDoneOCERFail\x00\xFF";
        const std::size_t n = 1 + r.below(7);
        for (std::size_t i = 0; i < n; ++i) w += letters[r.below(sizeof letters - 1)];
        break;
    }
    }
    while (w.size() < minLength) w += char(r.byte());
    return w;
}

bool startsWith(const std::string& s, const char* word) { return s.compare(0, 4, word) == 0 && s.size() >= 4; }

// A link on a fresh simulated programmer whose reply faults come from `r`.
struct Bench {
    sim::SimProgrammer sim;
    RecorderHost host;
    AppState st;
    std::string cut(std::string w) {
        if (sim.faults().shortReplies && w.size() > *sim.faults().shortReplies) w.resize(*sim.faults().shortReplies);
        return w;
    }
    Bench() {
        st.usb = &sim;
        st.host = &host;
        st.pause = [](int) {};
    }
    sim::SimProgrammer& faults(Rng& r) {
        if (r.chance(1, 3)) sim.faults().splitReplies = 1 + r.below(3);
        return sim;
    }
    std::uint32_t queued() {
        std::uint32_t n = 0;
        sim.queueStatus(n);
        return n;
    }
};

}  // namespace

TEST(LinkReplies, IdentifyRepliesOfAnyLengthAndSerialNumbersOfAnyBytes) {
    Rng r(31);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Bench b;
        b.faults(r);
        Bytes reply = r.vec(1 + r.below(r.chance(1, 4) ? 300 : 24));
        if (r.chance(1, 2)) reply[0] = proto::kStateReady;
        b.sim.setIdentifyReply(reply);
        std::string serial;
        for (std::size_t i = 0, n = r.below(24); i < n; ++i) serial += char(r.chance(1, 8) ? 0 : r.byte());
        b.sim.setSerialNumber(serial);
        const bool reconnect = r.chance(1, 2);
        if (reconnect) b.sim.open(proto::kDescription, proto::kOpenFlagsConnect);

        ConnectProgrammer(b.st, reconnect);

        const bool ready = reply[0] == proto::kStateReady;
        ASSERT_EQ(b.st.ProgrammerState, ready ? 1 : 0);
        const QStringList lines = b.host.lines();
        ASSERT_TRUE(lines.contains(" Firmware Version    : " + QString::number(reply[0])));
        QString shown;
        for (char c : serial) {
            if (c == 0) break;
            shown += QChar::fromLatin1(c);
        }
        ASSERT_TRUE(lines.contains(" Tesmar Serial Nr : " + shown));
        ASSERT_EQ(lines.contains(" **** Tesmar COMMUNICATION ERROR **** "), !ready);
        if (ready) {
            // Nothing of the identify reply is left to be taken for the next answer.
            ASSERT_EQ(b.queued(), 0u);
            ASSERT_TRUE(b.sim.isOpen());
        } else {
            ASSERT_FALSE(b.sim.isOpen());
        }
    }
}

TEST(LinkReplies, BitstreamUploadSucceedsOnlyOnSendAndGood) {
    QTemporaryDir dir;
    Rng r(32);
    const QString file = dir.filePath("bits.rbf");
    const Bytes bits = r.vec(1000);
    ASSERT_TRUE(writeFile(file, QByteArray(reinterpret_cast<const char*>(bits.data()), qsizetype(bits.size()))));
    int good = 0;
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Bench b;
        b.sim.open(proto::kDescription, proto::kOpenFlagsConnect);
        b.faults(r);
        std::string send = "Send", ok = "Good";
        if (r.chance(1, 2)) b.sim.faults().wrongReply[sim::Reply::FpgaSend] = send = wordLike(r, "Send");
        if (r.chance(1, 2)) b.sim.faults().wrongReply[sim::Reply::FpgaGood] = ok = wordLike(r, "Good");
        if (r.chance(1, 8)) b.sim.faults().shortReplies = 1 + r.below(4);
        send = b.cut(send);
        ok = b.cut(ok);

        SendFpgaFile(b.st, file.toStdString());

        // A longer "Send" leaves its tail in front of the next reply word.
        const bool expected = startsWith(send, "Send") && startsWith(send.substr(4) + ok, "Good");
        good += expected;
        const QStringList lines = b.host.lines();
        ASSERT_EQ(lines, QStringList{expected ? " FPGA programmed OK" : " Problem sending FPGA file"})
            << "Send reply \"" << send << "\", Good reply \"" << ok << "\"";
        ASSERT_EQ(b.st.ErrorFlag.get(), expected ? 0 : 1);
        if (startsWith(send, "Send")) {
            Bytes want = bits;
            want.resize(proto::kBitstreamLength, 0);
            ASSERT_EQ(b.sim.lastBitstream(), want);
        } else {
            // Without "Send" nothing of the bitstream goes out.
            ASSERT_EQ(b.sim.hostBytes(), (Bytes{'F', 'P', 'G', 'A'}));
        }
    }
    EXPECT_GT(good, 5);
}

TEST(LinkReplies, FirmwareUploadSucceedsOnlyOnOkay) {
    QTemporaryDir dir;
    Rng r(33);
    int good = 0;
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Bench b;
        b.sim.open(proto::kDescription, proto::kOpenFlagsConnect);
        b.faults(r);
        // Sizes at and around the limit the programmer takes.
        const std::size_t size = r.pick({std::size_t(0), std::size_t(1), std::size_t(100), std::size_t(8191),
                                         std::size_t(8192), std::size_t(8193), std::size_t(20000)});
        const Bytes code = r.vec(size);
        const QString file = dir.filePath(QString("fw%1.bin").arg(round));
        ASSERT_TRUE(writeFile(file, QByteArray(reinterpret_cast<const char*>(code.data()), qsizetype(code.size()))));
        std::string okay = "Okay";
        // Four bytes at least: a shorter answer is waited for until the poll bound.
        if (r.chance(1, 2)) b.sim.faults().wrongReply[sim::Reply::McuOkay] = okay = wordLike(r, "Okay", 4);

        SendMcuFile(b.st, file.toStdString());

        const bool fits = size <= proto::kFirmwareMax;
        const bool expected = fits && startsWith(okay, "Okay");
        good += expected;
        ASSERT_EQ(b.host.lines(), QStringList{expected ? " MCU file sent OK" : " Problem sending MCU file"})
            << "reply \"" << okay << "\", size " << size;
        if (fits)
            ASSERT_EQ(b.sim.lastFirmware(), code);
        else
            ASSERT_TRUE(b.sim.hostBytes().empty()) << "an oversized file sends nothing";
    }
    EXPECT_GT(good, 5);
}

TEST(LinkReplies, OnlyGoodLetsAnOperationRun) {
    Rng r(34);
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Bench b;
        b.sim.open(proto::kDescription, proto::kOpenFlagsConnect);
        b.faults(r);
        std::string probe = "Good";
        if (r.chance(1, 5)) {
            b.sim.faults().overCurrent = true;
            probe = "OCER";
        }
        // The probe answer is read without a wait: even no answer at all ends at once.
        if (r.chance(1, 2)) b.sim.faults().wrongReply[sim::Reply::Probe] = probe = r.chance(1, 8) ? "" : wordLike(r, "Good");
        if (r.chance(1, 8)) b.sim.faults().shortReplies = r.below(4);
        probe = b.cut(probe);
        ASSERT_EQ(CheckOverCurrent(b.st), !startsWith(probe, "Good")) << "probe reply \"" << probe << "\"";
    }
}

TEST(LinkReplies, DeviceParametersOfNoiseRecordsKeepTheLinkInStep) {
    // Whatever a damaged record holds, the parameter frame is exactly as long
    // as the programmer expects, so the next frame is still read as a frame.
    Rng r(35);
    const char families[] = {'R', 'O', 'E', 'F', 'S', 'M', 'C', 'P', 'L', 'Y', 0, char(0xFF)};
    for (int round = 0; round < 100; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Bytes raw = r.vec(kDeviceRecordSize);
        raw[0x01] = std::uint8_t(r.pick(families));
        Bench b;
        b.sim.open(proto::kDescription, proto::kOpenFlagsConnect);
        b.st.CurrentDevice = std::make_shared<const DeviceRecord>(DeviceRecord::fromImage(raw.data()));
        const DeviceRecord& rec = *b.st.CurrentDevice;

        SendDeviceParameters(b.st);
        ASSERT_FALSE(CheckOverCurrent(b.st));

        const Bytes sent = b.sim.lastParameters();
        ASSERT_EQ(sent.size(), 4 + proto::kPacketLength + sim::parameterTailLength(rec.FamilyLetter));
        const std::uint32_t size = std::uint32_t(sent[0]) << 24 | sent[1] << 16 | sent[2] << 8 | sent[3];
        ASSERT_EQ(size, rec.LastAddress + 1);
        ASSERT_TRUE(b.sim.protocolErrors().empty());
        ASSERT_EQ(b.host.lines(), QStringList{" Parameters sent OK"});
    }
}
