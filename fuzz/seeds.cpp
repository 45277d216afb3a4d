// Seeds for the two reply targets: each session is run against the simulated
// programmer (a blank chip of the device in its socket) through a port that
// records what the programmer answered to each write, and written out as the
// setup header and the script that replays those answers.
//
// Usage: fuzz_seeds <operation seed folder> <link seed folder>
#include <QDir>
#include <QFile>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "common/FuzzRig.h"
#include "common/ScriptedPort.h"
#include "common/Sessions.h"
#include "link/Protocol.h"
#include "operations/Dispatch.h"
#include "sim/SimProgrammer.h"

using namespace tesmar;
using namespace tesmar::fuzz;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Passes every call to the simulated programmer and keeps, for each write,
// the bytes the reads returned until the next write.
class RecordingPort : public UsbPort {
public:
    explicit RecordingPort(UsbPort& inner) : in_(inner) {}

    int open(const std::string& d, std::uint32_t f) override { return in_.open(d, f); }
    int close() override { return in_.close(); }
    bool isOpen() const override { return in_.isOpen(); }
    int readSerialNumber(std::string& s) override { return in_.readSerialNumber(s); }
    int reset() override { return in_.reset(); }
    int purge(unsigned mask) override { return in_.purge(mask); }
    int setTimeouts(std::uint32_t r, std::uint32_t w) override { return in_.setTimeouts(r, w); }
    int queueStatus(std::uint32_t& n) override { return in_.queueStatus(n); }
    int status(std::uint32_t& rx, std::uint32_t& tx, std::uint32_t& ev) override { return in_.status(rx, tx, ev); }
    int read(std::uint8_t* buf, std::uint32_t len, std::uint32_t& got) override {
        const int rc = in_.read(buf, len, got);
        answer_.insert(answer_.end(), buf, buf + got);
        return rc;
    }
    int write(const std::uint8_t* buf, std::uint32_t len, std::uint32_t& written) override {
        endAnswer();
        script_.push_back(Piece{true, {}, {}});
        return in_.write(buf, len, written);
    }
    using UsbPort::write;

    // A user's answer to a box. The replay takes the answer to a write from
    // the script when the write happens, so the box's byte follows it.
    void hostByte(std::uint8_t b) { script_.back().after.push_back(b); }

    Bytes script() {
        endAnswer();
        Bytes out;
        for (const Piece& p : script_) {
            if (p.answer) {
                out.insert(out.end(), p.tokens.begin(), p.tokens.end());
                out.push_back(token::kEndOfAnswer);
            }
            out.insert(out.end(), p.after.begin(), p.after.end());
        }
        return out;
    }

private:
    struct Piece {
        bool answer = false;  // false: before the first write
        Bytes tokens;         // the answer to the write
        Bytes after;          // box answers given after it
    };

    // Length of the two-byte pattern that starts at i.
    static std::size_t runAt(const Bytes& d, std::size_t i) {
        std::size_t n = 0;
        while (i + n < d.size() && d[i + n] == d[i + (n & 1)] && n < token::kRunUnit * token::kMaxRunUnits) ++n;
        return n;
    }

    // The answer as tokens: long two-byte patterns as runs, the rest as
    // literals. What the programmer sent between two writes arrives in the
    // replay as fast as the host polls, as it did from the simulator.
    void endAnswer() {
        if (!script_.back().answer) {
            answer_.clear();
            return;
        }
        Bytes& t = script_.back().tokens;
        const Bytes& d = answer_;
        for (std::size_t i = 0; i < d.size();) {
            const std::size_t run = runAt(d, i) / token::kRunUnit;
            if (run >= 2) {
                t.insert(t.end(), {std::uint8_t(token::kRun | (run - 1)), d[i], d[i + 1]});
                i += run * token::kRunUnit;
                continue;
            }
            std::size_t n = 1;
            while (i + n < d.size() && n < token::kMaxLiteral && runAt(d, i + n) < 2 * token::kRunUnit) ++n;
            t.push_back(std::uint8_t(n));
            t.insert(t.end(), d.begin() + std::ptrdiff_t(i), d.begin() + std::ptrdiff_t(i + n));
            i += n;
        }
        answer_.clear();
    }

    UsbPort& in_;
    std::vector<Piece> script_{Piece{}};
    Bytes answer_;
};

// Answers every box with Ignore and notes the answer in the script.
class RecordingHost : public ScriptedHost {
public:
    explicit RecordingHost(RecordingPort& port) : port_(port) {}
    Answer askAbortRetryIgnore(const QString& text, const QString& caption) override {
        ScriptedHost::askAbortRetryIgnore(text, caption);
        port_.hostByte(2);
        return Answer::Ignore;
    }

private:
    RecordingPort& port_;
};

void save(const QString& folder, const QString& name, const Bytes& header, const Bytes& script) {
    if (verbose()) std::fprintf(stderr, "=== seed %s\n", name.toLocal8Bit().constData());
    QFile f(QDir(folder).filePath(name));
    if (!f.open(QIODevice::WriteOnly)) fail("cannot write a seed");
    f.write(reinterpret_cast<const char*>(header.data()), qint64(header.size()));
    f.write(reinterpret_cast<const char*>(script.data()), qint64(script.size()));
}

QString fileSafe(const std::string& s) {
    QString n = QString::fromStdString(s);
    for (QChar& c : n)
        if (!c.isLetterOrNumber() && c != '-') c = '_';
    return n;
}

void operationSeeds(const QString& folder) {
    const auto& records = operationRecords();
    if (records.size() > 256) fail("more operation records than the setup byte can name");
    for (std::size_t i = 0; i < records.size(); ++i) {
        const DeviceRecord& rec = records[i];
        for (std::size_t op = 0; op < std::size(kOperationLetters); ++op) {
            // The options a new selection of the device takes.
            OperationSetup setup;
            setup.record = std::uint8_t(i);
            setup.operation = std::uint8_t(op);
            if (rec.DefaultOptions & 1) setup.flags |= OperationSetup::InsertionTest;
            if (rec.DefaultOptions & 4) setup.flags |= OperationSetup::IdCheck;
            if (rec.DefaultOptions & 8) setup.flags |= OperationSetup::VerifyMaxMin;
            setup.steps = rec.FamilyLetter == 'C' ? rec.StepMask & 0x17 : 1;

            sim::SimProgrammer sim;
            sim.open(proto::kDescription, proto::kOpenFlagsConnect);
            sim.insertBlankChipFor(rec);
            RecordingPort port(sim);
            RecordingHost host(port);
            AppState st;
            st.usb = &port;
            st.host = &host;
            prepareOperation(st, setup);
            ExecuteOperation(st);
            save(folder, QString("%1-%2").arg(fileSafe(rec.Name)).arg(kOperationLetters[op]), setup.bytes(),
                 port.script());
        }
    }
}

void linkSeeds(const QString& folder) {
    // One selection per pair of uploads, from start-up and from Reconnect.
    const auto& records = sampleRecords();
    std::set<std::string> uploads;
    for (std::size_t i = 0; i < records.size() && i < 256; ++i) {
        if (!uploads.insert(records[i].FpgaFile + "/" + records[i].McuFile).second) continue;
        for (std::uint8_t reconnect : {0, 1}) {
            LinkSetup setup;
            setup.flags = reconnect;
            setup.record = std::uint8_t(i);
            const std::string serial = "TS000001";
            setup.serial.assign(serial.begin(), serial.end());

            sim::SimProgrammer sim;
            sim.setSerialNumber(serial);
            sim.insertBlankChipFor(records[i]);
            if (reconnect) sim.open(proto::kDescription, proto::kOpenFlagsConnect);
            RecordingPort port(sim);
            RecordingHost host(port);
            AppState st;
            st.usb = &port;
            st.host = &host;
            runLinkSession(st, setup);
            save(folder, QString("%1-%2").arg(fileSafe(records[i].Name)).arg(reconnect ? "reconnect" : "start"),
                 setup.bytes(), port.script());
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    startQt(&argc, &argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <operation seed folder> <link seed folder>\n", argv[0]);
        return 2;
    }
    for (int i = 1; i < 3; ++i) QDir().mkpath(argv[i]);
    operationSeeds(argv[1]);
    linkSeeds(argv[2]);
    return 0;
}
