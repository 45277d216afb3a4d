// Bitstream and firmware uploads against the simulated programmer.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "link/Link.h"
#include "link/LinkTestSupport.h"
#include "sim/SimProgrammer.h"
#include "support/TestSupport.h"

using namespace tesmar;
using Bytes = std::vector<std::uint8_t>;

namespace {

QByteArray pattern(int n, int seed = 7) {
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i) b[i] = char((i * 31 + seed) & 0xFF);
    return b;
}

Bytes bytesOf(const QByteArray& b) { return Bytes(b.begin(), b.end()); }

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

bool called(const sim::SimProgrammer& sim, const std::string& call) {
    const auto calls = sim.driverCalls();
    return std::find(calls.begin(), calls.end(), call) != calls.end();
}

class Uploads : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_EQ(sim.open("Tesmar", 2), UsbOk);
        sim.clearLog();
        st.usb = &sim;
        st.host = &host;
    }
    std::string file(const char* name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(test::writeFile(path, bytes));
        return path.toStdString();
    }
    std::string missing() const { return dir.filePath("nothere.rbf").toStdString(); }

    QTemporaryDir dir;
    sim::SimProgrammer sim;
    test::RecorderHost host;
    AppState st;
};

}  // namespace

TEST_F(Uploads, ShortBitstreamIsZeroFilledToTheFrameLength) {
    const QByteArray bits = pattern(100);
    SendFpgaFile(st, file("dev.rbf", bits));

    EXPECT_EQ(sim.lastBitstream(), concat({bytesOf(bits), Bytes(19797, 0)}));
    EXPECT_EQ(sim.hostBytes().size(), 4u + 19897u);
    EXPECT_EQ(host.lines(), QStringList{" FPGA programmed OK"});
    EXPECT_EQ(st.ErrorFlag.get(), 0);
    // The upload's time-outs stay for the frames that follow.
    EXPECT_EQ(sim.readTimeoutMs(), 10000u);
    EXPECT_EQ(sim.writeTimeoutMs(), 10000u);
    EXPECT_TRUE(sim.protocolErrors().empty());
}

TEST_F(Uploads, BitstreamLengthsAtAndAboveTheFrame) {
    for (int size : {19897, 19898, 20000, 25000}) {
        sim.clearLog();
        host.memoClear();
        const QByteArray bits = pattern(size, size);
        SendFpgaFile(st, file("dev.rbf", bits));
        // Exactly the frame's bytes go out, so nothing spills into the frame parser.
        EXPECT_EQ(sim.hostBytes(), concat({{'F', 'P', 'G', 'A'}, bytesOf(bits.left(19897))})) << size;
        EXPECT_TRUE(sim.protocolErrors().empty()) << size;
        EXPECT_EQ(host.lines(), QStringList{" FPGA programmed OK"}) << size;
    }
}

TEST_F(Uploads, MissingBitstreamShowsTheBoxAndSendsNothing) {
    SendFpgaFile(st, missing());
    EXPECT_EQ(host.messages(), QStringList{" File Not Found |" + QString::fromStdString(missing())});
    EXPECT_TRUE(sim.hostBytes().empty());
    EXPECT_TRUE(host.lines().isEmpty());
    EXPECT_EQ(st.ErrorFlag.get(), 0);
}

TEST_F(Uploads, BitstreamFailuresReportErrorFourteenAndPurge) {
    struct Row {
        const char* what;
        std::function<void(sim::FaultPlan&)> fault;
        bool dataSent;
    } const rows[] = {
        {"wrong Send", [](sim::FaultPlan& f) { f.wrongReply[sim::Reply::FpgaSend] = "Sent"; }, false},
        {"wrong Good", [](sim::FaultPlan& f) { f.wrongReply[sim::Reply::FpgaGood] = "Gone"; }, true},
        {"short Send", [](sim::FaultPlan& f) { f.shortReplies = 3; }, false},
    };
    const std::string path = file("dev.rbf", pattern(500));
    for (const Row& row : rows) {
        sim::SimProgrammer port;
        port.open("Tesmar", 2);
        row.fault(port.faults());
        test::RecorderHost h;
        AppState s;
        s.usb = &port;
        s.host = &h;
        SendFpgaFile(s, path);
        EXPECT_EQ(h.lines(), QStringList{" Problem sending FPGA file"}) << row.what;
        EXPECT_EQ(s.ErrorFlag.get(), 1) << row.what;
        EXPECT_TRUE(called(port, "purge 3")) << row.what;
        EXPECT_EQ(port.hostBytes().size(), row.dataSent ? 4u + 19897u : 4u) << row.what;
    }
}

TEST_F(Uploads, SilentProgrammerEndsTheBitstreamUpload) {
    sim.faults().silent = true;
    SendFpgaFile(st, file("dev.rbf", pattern(100)));
    EXPECT_EQ(host.lines(), QStringList{" Problem sending FPGA file"});
    EXPECT_EQ(sim.hostBytes().size(), 4u);
}

TEST_F(Uploads, RepliesThatTrickleInStillCount) {
    sim.faults().splitReplies = 1;
    SendFpgaFile(st, file("dev.rbf", pattern(100)));
    SendMcuFile(st, file("dev.bin", pattern(300)));
    EXPECT_EQ(host.lines(), (QStringList{" FPGA programmed OK", " MCU file sent OK"}));
}

TEST_F(Uploads, FirmwareFrameCarriesLengthBytesAndSum) {
    const QByteArray code = pattern(0x1234);
    std::uint8_t sum = 0;
    for (char c : code) sum = std::uint8_t(sum + std::uint8_t(c));
    SendMcuFile(st, file("dev.bin", code));

    EXPECT_EQ(sim.hostBytes(), concat({{'M', 'C', 'U', ' ', 0x12, 0x34}, bytesOf(code), {sum}}));
    EXPECT_EQ(sim.lastFirmware(), bytesOf(code));
    EXPECT_EQ(host.lines(), QStringList{" MCU file sent OK"});
    EXPECT_EQ(st.ErrorFlag.get(), 0);
}

TEST_F(Uploads, FirmwareOfTheLargestSizeIsSent) {
    const QByteArray code = pattern(8192);
    SendMcuFile(st, file("dev.bin", code));
    EXPECT_EQ(sim.lastFirmware(), bytesOf(code));
    EXPECT_EQ(host.lines(), QStringList{" MCU file sent OK"});
}

TEST_F(Uploads, OversizedFirmwareSendsNothingSoLaterFramesSurvive) {
    SendMcuFile(st, file("dev.bin", pattern(8193)));
    EXPECT_TRUE(sim.hostBytes().empty());
    EXPECT_EQ(host.lines(), QStringList{" Problem sending MCU file"});
    EXPECT_TRUE(host.messages().isEmpty());
    EXPECT_EQ(st.ErrorFlag.get(), 1);

    // The programmer is still in step: the next frame is understood as a frame.
    st.CurrentDevice = test::linkRecord('P', 1).lastAddress(0xFF).shared();
    SendDeviceParameters(st);
    ASSERT_EQ(sim.lastParameters().size(), 4u + 15u);
    EXPECT_EQ(sim.lastParameters()[3], 0x00);
    EXPECT_EQ(sim.lastParameters()[2], 0x01);
    EXPECT_TRUE(sim.protocolErrors().empty());
}

TEST_F(Uploads, MissingFirmwareShowsTheBoxFailsAndSendsNothing) {
    SendMcuFile(st, missing());
    EXPECT_EQ(host.messages(), QStringList{" File Not Found |" + QString::fromStdString(missing())});
    EXPECT_TRUE(sim.hostBytes().empty());
    EXPECT_EQ(host.lines(), QStringList{" Problem sending MCU file"});
    EXPECT_EQ(st.ErrorFlag.get(), 1);
}

TEST_F(Uploads, FirmwareWithoutOkayFailsWithoutPurge) {
    sim.faults().wrongReply[sim::Reply::McuOkay] = "Nope";
    SendMcuFile(st, file("dev.bin", pattern(64)));
    EXPECT_EQ(host.lines(), QStringList{" Problem sending MCU file"});
    EXPECT_EQ(st.ErrorFlag.get(), 1);
    EXPECT_FALSE(called(sim, "purge 3"));  // only the reporter's transmit purge
}

TEST_F(Uploads, SilentProgrammerEndsTheFirmwareUpload) {
    sim.faults().silent = true;
    SendMcuFile(st, file("dev.bin", pattern(64)));
    EXPECT_EQ(host.lines(), QStringList{" Problem sending MCU file"});
}

TEST_F(Uploads, LongFirmwareReplyIsReadWithinItsBuffer) {
    // "Okay" followed by more bytes than the reply buffer holds: still accepted,
    // and nothing of it is left for the next reply.
    sim.faults().wrongReply[sim::Reply::McuOkay] = "Okay" + std::string(40, '!');
    SendMcuFile(st, file("dev.bin", pattern(64)));
    EXPECT_EQ(host.lines(), QStringList{" MCU file sent OK"});
    std::uint32_t left = 99;
    sim.queueStatus(left);
    EXPECT_EQ(left, 0u);
}
