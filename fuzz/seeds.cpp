// Seeds for the two reply targets: each session is run against the simulated
// programmer (a blank chip of the device in its socket) through a port that
// records what the programmer answered to each write, and written out as the
// setup header and the script that replays those answers.
//
// fuzz_round_trip and fuzz_config_pages get theirs here too: files the
// program saves from sample images, and pages opened with runs of clicks.
//
// Usage: fuzz_seeds <operation> <link> <round_trip> <config_pages> (seed folders)
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "common/FuzzRig.h"
#include "common/HeadlessPages.h"
#include "common/RoundTrip.h"
#include "common/ScriptedPort.h"
#include "common/Sessions.h"
#include "devices/BufferLayout.h"
#include "families/PldGeometry.h"
#include "fileformats/LoadSave.h"
#include "link/Protocol.h"
#include "operations/Dispatch.h"
#include "sim/ForwardingPort.h"
#include "sim/SimProgrammer.h"

using namespace tesmar;
using namespace tesmar::fuzz;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Passes every call to the simulated programmer and keeps, for each write,
// the bytes the reads returned until the next write.
class RecordingPort : public sim::ForwardingPort {
public:
    explicit RecordingPort(UsbPort& inner) : ForwardingPort(inner) {}

    int read(std::uint8_t* buf, std::uint32_t len, std::uint32_t& got) override {
        const int rc = inner_.read(buf, len, got);
        answer_.insert(answer_.end(), buf, buf + got);
        return rc;
    }
    int write(const std::uint8_t* buf, std::uint32_t len, std::uint32_t& written) override {
        endAnswer();
        script_.push_back(Piece{true, {}, {}});
        return inner_.write(buf, len, written);
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

// Runs a session against the simulated programmer through the recording
// port and keeps it as a seed: the setup's header, then the answers.
void recordSession(sim::SimProgrammer& sim, const QString& folder, const QString& name, const Bytes& header,
                   const std::function<void(AppState&)>& session) {
    RecordingPort port(sim);
    RecordingHost host(port);
    AppState st;
    st.usb = &port;
    st.host = &host;
    session(st);
    save(folder, name, header, port.script());
}

// Runs the setup against a blank chip of the device and keeps the session.
void recordOperation(const QString& folder, const QString& name, const DeviceRecord& rec,
                     const OperationSetup& setup) {
    sim::SimProgrammer sim;
    sim.open(proto::kDescription, proto::kOpenFlagsConnect);
    sim.insertBlankChipFor(rec);
    recordSession(sim, folder, name, setup.bytes(), [&setup](AppState& st) {
        prepareOperation(st, setup);
        ExecuteOperation(st);
    });
}

void operationSeeds(const QString& folder) {
    const auto& records = operationRecords();
    if (records.size() > 256) fail("more operation records than the setup byte can name");
    for (std::size_t i = 0; i < records.size(); ++i) {
        const DeviceRecord& rec = records[i];
        const std::string_view letters = operationLetters(rec);
        // The options a new selection of the device takes.
        OperationSetup base;
        base.record = std::uint8_t(i);
        if (rec.DefaultOptions & 1) base.flags |= OperationSetup::InsertionTest;
        if (rec.DefaultOptions & 4) base.flags |= OperationSetup::IdCheck;
        if (rec.DefaultOptions & 8) base.flags |= OperationSetup::VerifyMaxMin;
        base.steps = rec.FamilyLetter == 'C' ? rec.StepMask & 0x17 : 1;
        for (std::size_t op = 0; op < letters.size(); ++op) {
            OperationSetup setup = base;
            setup.operation = std::uint8_t(op);
            recordOperation(folder, QString("%1-%2").arg(fileSafe(rec.Name)).arg(letters[op]), rec, setup);
        }
        const auto program = std::uint8_t(letters.find('P'));
        if (rec.FamilyLetter == 'M') {
            // A Program with the user's fuses, locks and security byte, every lock step, and the calibration
            // byte of the first CAL into the last code byte.
            OperationSetup setup = base;
            setup.operation = program;
            setup.steps = 0x0F;
            setup.config = OperationSetup::Known | OperationSetup::ProgramCalibration | OperationSetup::CalibrationRead;
            setup.fuses = {0xE1, 0xD9, 0xFF, 0xFC, 0xFE};
            setup.calibrationAddress = rec.LastAddress;
            setup.calibrationBytes = {0xA5, 0x5A, 0x3C, 0xC3};
            recordOperation(folder, QString("%1-P-fuses").arg(fileSafe(rec.Name)), rec, setup);
        } else if (rec.FamilyLetter == 'P') {
            // A Program of a map whose JEDEC file asked for the security fuse.
            OperationSetup setup = base;
            setup.operation = program;
            setup.config = OperationSetup::Secure;
            recordOperation(folder, QString("%1-P-secure").arg(fileSafe(rec.Name)), rec, setup);
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
            recordSession(sim, folder,
                          QString("%1-%2").arg(fileSafe(records[i].Name)).arg(reconnect ? "reconnect" : "start"),
                          setup.bytes(), [&setup](AppState& st) { runLinkSession(st, setup); });
        }
    }
}

// A small generator of sample contents, the same on every build.
class Pattern {
public:
    explicit Pattern(std::uint32_t seed) : x_(seed * 2654435761u + 1) {}
    std::uint8_t next() {
        x_ ^= x_ << 13;
        x_ ^= x_ >> 17;
        x_ ^= x_ << 5;
        return std::uint8_t(x_ >> 8);
    }

private:
    std::uint32_t x_;
};

QList<QByteArray> savedLines(AppState& st, const QString& name) {
    if (!SaveFile(st, name)) fail("a seed image could not be saved");
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly)) fail("cannot read a saved seed");
    return f.readAll().split('\n');
}

// One seed: the image saved in the format, PIC files without the data
// records a blank image would have too.
void roundTripSeed(const QString& folder, const QString& file, int format, std::size_t i, const DeviceRecord& rec) {
    const bool pld = format == 5;
    const GalRow* geometry = pld ? pldGeometry(rec) : nullptr;
    if (pld && !geometry) return;  // nothing to save
    Pattern p{std::uint32_t(i * 3 + std::size_t(format))};
    ScriptedHost host;
    AppState st;
    st.host = &host;
    st.CurrentDevice = std::make_shared<const DeviceRecord>(rec);
    selectionImage(st.buf, rec);
    st.file.FileFormat = std::int8_t(format);
    const QList<QByteArray> blank = pld ? QList<QByteArray>{} : savedLines(st, file);

    std::vector<std::uint8_t>& b = st.buf.DeviceBuffer;
    auto fill = [&](std::size_t from, std::size_t n) {
        for (std::size_t k = from; k < from + n && k < b.size(); ++k) b[k] = p.next();
    };
    if (pld) {
        for (int f = 0; f < geometry->fuses && std::size_t(f) < b.size(); ++f) b[std::size_t(f)] = p.next() & 1;
    } else {
        const PicAreas a = picAreas(rec);
        fill(0, 32);
        fill(a.fileCodeBytes > 32 ? a.fileCodeBytes - 32 : 0, 32);
        for (const Span& area : savedAreas(rec))
            if (std::string_view(area.name) != "code") fill(area.from, std::min<std::size_t>(area.to - area.from, 16));
    }
    const QList<QByteArray> lines = savedLines(st, file);
    QByteArray text;
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QByteArray& line = lines[n];
        if (!pld && n < blank.size() && line == blank[n] && line.mid(7, 2) == "00") continue;
        text += line;
        if (n + 1 < lines.size()) text += '\n';
    }
    const Bytes header{std::uint8_t(format - 3), std::uint8_t(i), std::uint8_t(i >> 8)};
    const QString name = QString("%1-%2").arg(fileSafe(rec.Name)).arg(formatName(format));
    save(folder, name, header, Bytes(text.begin(), text.end()));
    if (pld) {
        // As other tools end the transmission: ETX and its checksum; and a
        // file without the checksum field, which no fuse checksum guards.
        const QByteArray etx = text + "\x03" "0000";
        save(folder, name + "-etx", header, Bytes(etx.begin(), etx.end()));
        const QByteArray bare = text.left(text.lastIndexOf("*C")) + "*\x03" "0000";
        save(folder, name + "-noc", header, Bytes(bare.begin(), bare.end()));
    }
}

// fuzz_round_trip: each PIC record in both hex formats and each PLD record
// as a JEDEC file, written by the program from an image with some code, IDs,
// configuration and EEPROM bytes (a fuse map of PLDs). PIC files keep only
// the records that differ from those of a blank image, so the seeds stay
// small; the load fills the rest as blank.
void roundTripSeeds(const QString& folder) {
    QTemporaryDir tmp;
    if (!tmp.isValid()) fail("no temporary folder");
    for (const int format : {3, 4, 5}) {
        const auto& records = roundTripRecords(format);
        for (std::size_t i = 0; i < records.size(); ++i) roundTripSeed(folder, tmp.filePath("seed"), format, i, records[i]);
    }
}

// fuzz_config_pages: every record with a page, opened on what the selection
// leaves and on other values with a run of clicks over its controls.
void configPageSeeds(const QString& folder) {
    const auto& records = configPageRecords();
    if (records.size() > 0xFFFF) fail("more page records than the record field can name");
    for (std::size_t i = 0; i < records.size(); ++i) {
        Pattern p{std::uint32_t(i)};
        Bytes open{std::uint8_t(i), std::uint8_t(i >> 8), 0};
        open.resize(open.size() + 39, 0);
        Bytes used{std::uint8_t(i), std::uint8_t(i >> 8), 1};
        for (int k = 0; k < 39; ++k) used.push_back(p.next());
        for (int k = 0; k < 48; ++k) {
            // A tab now and then, else a control of the tab and what it takes.
            if (k % 12 == 11) {
                used.insert(used.end(), {0, std::uint8_t(k)});
                continue;
            }
            used.insert(used.end(), {1, std::uint8_t(k * 5), p.next(), p.next(), p.next(), p.next()});
        }
        const QString name = fileSafe(records[i].Name);
        save(folder, name + "-open", {}, open);
        save(folder, name + "-clicks", {}, used);
    }
}

}  // namespace

int main(int argc, char** argv) {
    startQt(&argc, &argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s <operation> <link> <round_trip> <config_pages> (seed folders)\n", argv[0]);
        return 2;
    }
    for (int i = 1; i < 5; ++i) QDir().mkpath(argv[i]);
    operationSeeds(argv[1]);
    linkSeeds(argv[2]);
    roundTripSeeds(argv[3]);
    configPageSeeds(argv[4]);
    return 0;
}
