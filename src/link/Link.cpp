#include "link/Link.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <algorithm>
#include <cmath>

#include "link/Protocol.h"
#include "link/Replies.h"
#include "link/UsbPort.h"
#include "operations/Host.h"
#include "operations/Report.h"

namespace tesmar {

namespace {

struct PinCode {
    std::uint8_t pin, code;
};

constexpr PinCode kVccCodes[] = {{1, 1}, {2, 2}, {10, 3}, {11, 4}, {32, 5}, {35, 6}, {36, 7}, {40, 8}};
constexpr PinCode kVppCodes[] = {{1, 9},   {2, 10},  {4, 11},  {9, 12},  {14, 13}, {31, 17},
                                 {32, 18}, {33, 19}, {34, 20}, {36, 21}, {37, 22}, {40, 23}};

template <std::size_t N>
std::uint8_t codeFor(const PinCode (&table)[N], std::uint8_t pin) {
    for (const PinCode& pc : table)
        if (pc.pin == pin) return pc.code;
    return 0;
}

enum PinRole : std::uint8_t { RoleGround = 0, RoleVcc = 1, RoleVpp = 2 };

std::uint8_t role(std::uint8_t entry) { return std::uint8_t(entry >> 6); }

void putBigEndian(std::vector<std::uint8_t>& out, std::uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(std::uint8_t(v >> (8 * i)));
}

// Opens a regular file for reading; shows the " File Not Found " box when it cannot.
bool openForUpload(AppState& st, QFile& f, const std::string& path) {
    const QString name = QFile::decodeName(path.c_str());
    f.setFileName(name);
    if (QFileInfo(name).isFile() && f.open(QIODevice::ReadOnly)) return true;
    if (st.host) st.host->message(name, " File Not Found ", BoxIcon::Stop);
    return false;
}

QString versionText(std::uint16_t revision) {
    // Shortest decimal form of revision x 0.001 (1052 -> "1.052", 1000 -> "1").
    return QString::number(revision * 0.001, 'g', 15);
}

QString serialText(const std::string& serial) {
    QString s;
    for (char c : serial) {
        if (c == '\0') break;
        s += QChar::fromLatin1(c);
    }
    return s;
}

void connectionLines(AppState& st, const QString& serial, std::uint8_t reply) {
    memo(st, " ");
    memo(st, " Tesmar Serial Nr : " + serial);
    memo(st, " Firmware Version    : " + QString::number(reply));
    memo(st, " Software Version    : " + versionText(st.settings.SoftwareRevision));
}

void notFoundLines(AppState& st) {
    memo(st, " ");
    memo(st, " **** NO PROGRAMMER FOUND ****");
    memo(st, " **** System in Tesmar DEMO mode  ****");
}

void notReadyLines(AppState& st) {
    memo(st, " **** System in Tesmar DEMO mode  ****");
    memo(st, " **** Tesmar COMMUNICATION ERROR **** ");
    memo(st, " ");
    memo(st, "      TURN PROGRAMMER OFF, CLICK ON RECONNECT, TURN PROGRAMMER ON");
}

}  // namespace

std::uint8_t voltageByte(float volts, int factor) {
    // Widened exactly to double before the multiplication, so a stored 12.7
    // (just below 12.7 as a float) gives 126; anything outside a byte is held
    // at its edge instead of wrapping.
    const double x = double(volts) * factor;
    if (!(x > 0.0)) return 0;  // also NaN
    if (x >= 255.0) return 255;
    return std::uint8_t(static_cast<int>(x));
}

std::uint8_t shiftPin(std::uint8_t pin, std::int8_t pinCount) {
    // Smaller packages sit at the bottom of the 40-pin socket: pins 1..20 move
    // down by k, the others up by k.
    if (pin == 0 || pinCount >= 40) return pin;
    const int k = 20 - pinCount / 2;
    return std::uint8_t(pin <= 20 ? pin - k : pin + k);
}

std::array<std::uint8_t, 15> buildDeviceParameterPacket(const DeviceRecord& d) {
    std::array<std::uint8_t, 15> p{};
    // A field that runs past its slot overwrites the next slots; codes that
    // would land beyond the packet are dropped.
    auto put = [&p](std::size_t at, std::uint8_t v) {
        if (at < p.size()) p[at] = v;
    };

    std::size_t at = 0;
    for (std::uint8_t e : d.PowerPins)
        if (role(e) == RoleGround) put(at++, shiftPin(e, d.PinCount));

    at = 5;
    for (std::uint8_t e : d.PowerPins) {
        if (role(e) != RoleVcc) continue;
        if (std::uint8_t code = codeFor(kVccCodes, shiftPin(e & 0x3F, d.PinCount))) put(at, code);
        ++at;
    }

    at = 7;
    for (std::uint8_t e : d.PowerPins) {
        if (role(e) != RoleVpp) continue;
        if (std::uint8_t code = codeFor(kVppCodes, shiftPin(e & 0x3F, d.PinCount))) put(at, code);
        ++at;
    }

    p[9] = voltageByte(d.Vdd, 25);
    p[10] = voltageByte(d.VddMax, 25);
    p[11] = voltageByte(d.VddMin, 10);
    p[12] = voltageByte(d.Vpp, 10);
    p[13] = std::uint8_t(d.FamilyLetter);
    p[14] = std::uint8_t(d.Algorithm);
    std::sort(p.begin(), p.begin() + 5);
    return p;
}

std::vector<std::uint8_t> buildFamilyTail(const DeviceRecord& d) {
    std::vector<std::uint8_t> t;
    switch (d.FamilyLetter) {
    case 'C': {
        const std::uint32_t cells = std::uint32_t(d.DataEepromSize) + 1;
        const std::uint32_t w = d.Algorithm == 18 ? cells : 2 * cells;
        putBigEndian(t, w, 2);
        t.push_back(d.FirmwareParam2);
        t.push_back(d.PageCode);
        break;
    }
    case 'E':
    case 'F':
        t.push_back(d.FirmwareParam3);
        putBigEndian(t, d.ProgramParam16(), 2);
        break;
    case 'S':
        t.push_back(d.FirmwareParam1);
        t.push_back(std::uint8_t(d.PulseWidth));
        t.push_back(d.ProgramParam);
        putBigEndian(t, d.EraseTime, 2);
        t.push_back(d.PageCode);
        break;
    case 'O':
    case 'R':
        t.push_back(voltageByte(d.EpromVoltage, 10));
        t.push_back(d.FirmwareParam1);
        t.push_back(std::uint8_t(d.PulseWidth < 1000 ? d.PulseWidth / 10 : d.PulseWidth / 1000));
        t.push_back(d.FirmwareParam3);
        break;
    default:
        break;
    }
    return t;
}

std::uint8_t QueryProgrammer(AppState& st) {
    if (!st.usb) return 0;
    st.usb->setTimeouts(proto::kIdentifyReadMs, proto::kIdentifyWriteMs);
    writeFrame(st, proto::kIdentify);
    // The link's exchanges run outside any operation: RunFlag is not theirs.
    if (!waitForBytes(st, 1, proto::kReplyPolls, OnAbort::Ignore)) return 0;
    const std::vector<std::uint8_t> reply = readQueued(st, proto::kIdentifyReplyMax);
    return reply.empty() ? 0 : reply.front();
}

void SendFpgaFile(AppState& st, const std::string& path) {
    QFile f;
    if (!openForUpload(st, f, path)) return;
    if (!st.usb) return;

    writeFrame(st, proto::kBitstreamUpload);
    // These time-outs stay in force for the later frames and the family routines.
    st.usb->setTimeouts(proto::kUploadReadMs, proto::kUploadWriteMs);
    if (!readReplyWord(st, proto::kReplySend, OnAbort::Ignore)) {
        ReportError(st, 14, 0);
        st.usb->purge(PurgeBoth);
        return;
    }

    // The programmer takes exactly kBitstreamLength bytes; anything beyond
    // would be read as frames, so a longer file is cut there.
    const QByteArray bits = f.read(proto::kBitstreamLength);
    f.close();
    writeBytes(st, reinterpret_cast<const std::uint8_t*>(bits.constData()), std::size_t(bits.size()));
    if (std::uint32_t(bits.size()) < proto::kBitstreamLength) {
        const std::vector<std::uint8_t> fill(proto::kBitstreamLength - std::uint32_t(bits.size()), 0);
        writeBytes(st, fill.data(), fill.size());
    }

    if (readReplyWord(st, proto::kReplyGood, OnAbort::Ignore)) {
        ReportSuccess(st, 8);
    } else {
        ReportError(st, 14, 0);
        st.usb->purge(PurgeBoth);
    }
}

void SendMcuFile(AppState& st, const std::string& path) {
    // The file is checked before "MCU " goes out: once the header is sent the
    // programmer takes the next length-many bytes as firmware, so a missing or
    // oversized file must send nothing at all.
    QFile f;
    if (!openForUpload(st, f, path)) {
        ReportError(st, 13, 0);
        return;
    }
    if (f.size() > qint64(proto::kFirmwareMax)) {
        ReportError(st, 13, 0);
        return;
    }
    const QByteArray code = f.read(proto::kFirmwareMax);
    f.close();
    if (!st.usb) return;

    // The length field carries what is actually sent, so the programmer's count
    // and ours agree even when the file changed size under us.
    const std::uint32_t size = std::uint32_t(code.size());
    std::uint8_t sum = 0;
    for (char c : code) sum = std::uint8_t(sum + std::uint8_t(c));

    writeFrame(st, proto::kFirmwareUpload);
    const std::uint8_t length[2] = {std::uint8_t(size >> 8), std::uint8_t(size)};
    writeBytes(st, length, 2);
    writeBytes(st, reinterpret_cast<const std::uint8_t*>(code.constData()), size);
    writeBytes(st, &sum, 1);

    // Wait for a whole reply word, so a reply that reaches the queue in pieces
    // is not judged by its first bytes; silence still ends after the poll bound.
    bool okay = false;
    if (waitForBytes(st, 1, proto::kReplyPolls, OnAbort::Ignore)) {
        waitForBytes(st, proto::kReplyWordLength, proto::kReplyPolls, OnAbort::Ignore);
        const std::vector<std::uint8_t> reply = readQueued(st, proto::kFirmwareReplyMax);
        okay = isReplyWord(reply.data(), reply.size(), proto::kReplyOkay);
    }
    if (okay)
        ReportSuccess(st, 9);
    else
        ReportError(st, 13, 0);
}

void SendDeviceParameters(AppState& st) {
    const DeviceRecord* d = st.dev();
    if (!d || !st.usb) return;
    writeFrame(st, proto::kDeviceParameters);
    std::vector<std::uint8_t> size;
    putBigEndian(size, d->LastAddress + 1, 4);
    writeBytes(st, size.data(), size.size());
    const auto packet = buildDeviceParameterPacket(*d);
    writeBytes(st, packet.data(), packet.size());
    const auto tail = buildFamilyTail(*d);
    writeBytes(st, tail.data(), tail.size());
    ReportSuccess(st, 10);
}

bool CheckOverCurrent(AppState& st) {
    if (!st.usb) return true;
    const DeviceRecord* d = st.dev();
    const bool eForm = d && (d->PageCode == 102 || d->PageCode == 103 || d->PageCode == 104);
    writeFrame(st, eForm ? proto::kProbeOverCurrentE : proto::kProbeOverCurrentT);
    // Only "Good" lets the operation run; "OCER", silence or noise stop it.
    return !readWord(st, proto::kReplyGood);
}

void ConnectProgrammer(AppState& st, bool reconnect) {
    UsbPort* usb = st.usb;
    if (reconnect) {
        if (usb && usb->isOpen()) usb->close();
        st.ProgrammerState = 0;
    }

    bool opened = false;
    for (int attempt = 0; usb && attempt < proto::kConnectAttempts && !opened; ++attempt) {
        opened = usb->open(proto::kDescription, proto::kOpenFlagsConnect) == UsbOk;
        pauseMs(st, reconnect ? proto::kReconnectPauseMs : proto::kConnectPauseMs);
    }
    st.HardwareVariant = 'A';
    if (!opened) {
        notFoundLines(st);
        return;
    }

    st.ProgrammerState = 1;
    if (!reconnect) usb->reset();
    std::string serial = "0000000000";
    if (usb->readSerialNumber(serial) != UsbOk) serial = "0000000000";
    const std::uint8_t reply = QueryProgrammer(st);

    if (reply == proto::kStateReady) {
        usb->reset();
        usb->purge(PurgeBoth);
        connectionLines(st, serialText(serial), reply);
        return;
    }
    connectionLines(st, serialText(serial), reply);
    notReadyLines(st);
    st.ProgrammerState = 0;
    usb->reset();
    usb->close();
}

void ReopenForSelection(AppState& st) {
    if (!st.usb) {
        st.ProgrammerState = 0;
        return;
    }
    if (st.usb->purge(PurgeBoth) == UsbOk) return;
    st.usb->close();
    if (st.usb->open(proto::kDescription, proto::kOpenFlagsSelect) != UsbOk) {
        st.ProgrammerState = 0;  // no programmer: carry on in DEMO mode
        return;
    }
    st.usb->setTimeouts(proto::kSelectReadMs, proto::kSelectWriteMs);
}

}  // namespace tesmar
