#include "operations/Report.h"

#include "link/UsbPort.h"
#include "operations/Host.h"

namespace tesmar {

QString deviceName(const AppState& st) {
    return st.dev() ? QString::fromLatin1(st.dev()->Name.c_str()) : QString();
}

void memo(AppState& st, const QString& line) {
    if (st.host) st.host->memoAdd(line);
}

void ReportError(AppState& st, std::int8_t code, std::uint8_t deviceByte) {
    st.ErrorFlag = 1;
    if (st.usb && st.usb->isOpen()) st.usb->purge(PurgeTx);
    if (st.RunFlag.load() == 0) return;
    const QString name = deviceName(st);
    QString line;
    switch (code) {
    case 0: line = " ERASE Error"; break;
    case 5: line = " Data file not found"; break;
    case 6: line = " NO adapter found !!!"; break;
    case 7: line = " WRONG adapter found !!!"; break;
    case 8: line = " Incorrect Version Data file !!!"; break;
    case 9: line = " " + name + " Locked"; break;
    case 10:
    case 11: {
        const std::size_t at = st.buf.BufferCursor;
        const unsigned ram = at < st.buf.size() ? st.buf.DeviceBuffer[at] : 0;
        // The name is never used as a format string.
        line = QString::asprintf("  Compare Error @ 0x%.5X Ram = 0x%.2X ", unsigned(at), ram) + name +
               QString::asprintf(" = 0x%.2X", unsigned(deviceByte));
        break;
    }
    case 12: line = " " + name + " not blank"; break;
    case 13: line = " Problem sending MCU file"; break;
    case 14: line = " Problem sending FPGA file"; break;
    case 15: line = " " + name + " EEprom not blank or EESAVE bit set"; break;
    default: line = " ** unknown ERROR **"; break;
    }
    memo(st, line);
}

void ReportSuccess(AppState& st, std::int8_t code) {
    if (st.RunFlag.load() == 0 || code < 0 || code > 10) return;
    static const char* const tails[] = {" is Blank", " Erased", " Locked", " and RAM Compare OK",
                                        " Read", " Programmed", " Verified", " is clean"};
    QString line;
    if (code <= 7)
        line = " " + deviceName(st) + tails[code];
    else if (code == 8)
        line = " FPGA programmed OK";
    else if (code == 9)
        line = " MCU file sent OK";
    else
        line = " Parameters sent OK";
    memo(st, line);
}

namespace {

void play(AppState& st, Sound s) {
    if (!st.settings.SoundOn || !st.host) return;
    if (!st.host->playSound(s)) st.settings.SoundOn = 0;  // the audio device failed: stay silent
}

}  // namespace

void PlayChimesSound(AppState& st) { play(st, Sound::Chimes); }
void PlayErrorSound(AppState& st) { play(st, Sound::Error); }
void PlayNotifySound(AppState& st) { play(st, Sound::Notify); }

QString elapsedLine(qint64 ms) {
    if (ms < 0) ms = 0;
    const qint64 h = ms / 3600000, m = ms / 60000 % 60, s = ms / 1000 % 60, hs = ms % 1000 / 10;
    return QString::asprintf(" %.2d:%.2d:%.2d.%.2d", int(h), int(m), int(s), int(hs));
}

}  // namespace tesmar
