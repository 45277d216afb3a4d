// The PLD signature check: the electronic signature the part answers tells
// whether the part is one the program knows and with which voltages, pulse
// width and erase time it is erased and programmed.
#include <algorithm>
#include <array>
#include <initializer_list>
#include <vector>

#include "families/FamilyCommon.h"
#include "families/Pld.h"
#include "families/PldGeometry.h"
#include "link/Replies.h"
#include "operations/Report.h"

namespace tesmar {
namespace {

const char* const kIdError = " ID Error  Device ";

// Maker 0x1F parts answer their own kind of signature.
constexpr std::uint8_t kAtmelMaker = 0x1F;
// Makers whose signature codes erase time, pulse width and voltage.
constexpr std::uint8_t kCodedMakers[] = {0xA1, 0x8F, 0x20};
constexpr std::uint8_t kLowerVoltMaker = 0x8F;

constexpr std::uint16_t GalPulseTable[16] = {1, 2, 5, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 200, 0, 0};

// Bytes a maker-0x1F signature may hold, by position, for replies of 8 and 9
// bytes (0x00 and 0xFF pass everywhere).
using Accepted = std::initializer_list<std::uint8_t>;
const Accepted kAtmel8[8] = {{0x8C, 0x30, 0x31}, {0x62, 0x42}, {0x4C, 0x38}, {0x0C, 0x56},
                             {0x6A, 0x30, 0x36}, {0x1C, 0x32, 0x31}, {0x42, 0x46}, {0x0C, 0x31}};
const Accepted kAtmel9[9] = {{0x30, 0x33}, {0x8C, 0x42, 0x43}, {0x62, 0x30}, {0x4C, 0x31}, {0x4C, 0x56},
                             {0x6A, 0x32}, {0x8C, 0x32},       {0x0C, 0x46}, {0x42, 0x31}};

bool contains(Accepted set, std::uint8_t b) { return std::find(set.begin(), set.end(), b) != set.end(); }

struct Timing {
    double volts;
    std::uint16_t pulse;
};

// Voltage (Vpp = Vcc) and pulse width by the low nibble of byte 1. A voltage
// of 0 in the tables stands for the maker's: 15.0 V for 0x8F, else 14.5 V.
bool timingFor(bool tableOne, int n, std::uint8_t maker, Timing& t) {
    const double middle = maker == kLowerVoltMaker ? 15.0 : 14.5;
    static const Timing t1[] = {{15.75, 100}, {15.75, 80}, {16.5, 10}, {0, 40}, {14.0, 100}};
    static const Timing t2[] = {{16.5, 10}, {15.75, 100}, {0, 40}, {14.0, 100}};
    const int size = tableOne ? 5 : 4;
    if (n < 0 || n >= size) return false;
    t = tableOne ? t1[n] : t2[n];
    if (t.volts == 0) t.volts = middle;
    return true;
}

bool checkAtmel(AppState& st, const std::uint8_t* s, std::size_t n) {
    PldRunState& p = st.pld;
    p.PulseWidth = 1;
    p.PldVpp = 12.5;
    p.PldVcc = 11.0;
    const Accepted* accepted = n == 8 ? kAtmel8 : kAtmel9;
    for (std::size_t i = 0; i < n; ++i) {
        if (s[i] == 0x00 || s[i] == 0xFF || contains(accepted[i], s[i])) continue;
        memo(st, kIdError);
        return false;
    }
    if (n == 8) {
        p.EraseTime = 50;
    } else {
        p.PldVcc = 12.5;
        p.EraseTime = (s[8] == '1' && s[7] == 'F') ? 50 : 350;
    }
    return true;
}

bool checkOtherMaker(AppState& st, const std::uint8_t* s) {
    const DeviceRecord& d = *st.dev();
    PldRunState& p = st.pld;
    if (d.MakerId != s[3] && d.DeviceId != s[2]) {
        memo(st, QString::asprintf(" ID Error  Device = 0x%.2X 0x%.2X", unsigned(s[3]), unsigned(s[2])));
        return false;
    }
    const int n = s[1] & 0x0F;
    const std::uint8_t maker = s[3];
    if (n == 5 && std::find(std::begin(kCodedMakers), std::end(kCodedMakers), maker) != std::end(kCodedMakers)) {
        p.EraseTime = std::uint16_t((25u << ((s[4] >> 2) & 7)) / 2);
        p.PulseWidth = GalPulseTable[(s[4] >> 5) | ((s[5] & 1) << 3)];
        p.PldVcc = p.PldVpp = (((s[5] >> 1) & 0x1F) + 10) * 0.5;
        return true;
    }
    bool tableOne = true;
    if (p.PldType == 1 || p.PldType == 3) {
        p.EraseTime = 100;
    } else if (p.PldType == 8 || p.PldType == 9) {
        p.EraseTime = 50;
    } else {
        p.EraseTime = maker == kLowerVoltMaker ? 50 : 100;
        tableOne = false;
    }
    Timing t{};
    if (!timingFor(tableOne, n, maker, t)) {
        // No voltage is known for this part: programming it with none (or
        // with the last part's) is not safe.
        memo(st, kIdError);
        return false;
    }
    p.PldVpp = p.PldVcc = t.volts;
    p.PulseWidth = t.pulse;
    return true;
}

}  // namespace

bool PldCheckSignature(AppState& st) {
    const DeviceRecord* d = st.dev();
    if (!d || !st.usb) return false;
    PldRunState& p = st.pld;
    p.PldType = d->Algorithm;
    // Every value comes from this signature; nothing of the last part's stays.
    p.PldVpp = p.PldVcc = 0.0;
    p.PulseWidth = d->PulseWidth;
    p.EraseTime = d->EraseTime;
    p.PldSignature.fill(0);
    const GalRow* g = pldGeometry(*d);
    if (!g) {
        memo(st, kIdError);
        return false;
    }
    writeFrame(st, proto::pldSignatureFrame(std::uint8_t(g->rowBits / 8), std::uint8_t(g->pesRow)));
    const std::size_t n = g->rowBits <= 64 ? 8 : 9;
    // The programmer may hand the signature over in parts: the reply is whole
    // once N bytes are queued (bounded; Abort ends the wait). What comes
    // beyond them is read and dropped; so is a reply that never grows whole.
    const bool whole = waitForBytes(st, std::uint32_t(n), proto::kReplyPolls, OnAbort::Stop);
    const std::vector<std::uint8_t> reply = whole ? readChipIdReply(st, n) : readQueued(st, 0);
    if (reply.size() < n) {
        if (st.RunFlag.load() != 0) memo(st, " Error with read");
        return false;
    }
    std::copy(reply.begin(), reply.end(), p.PldSignature.begin());
    const std::uint8_t* s = p.PldSignature.data();
    if (n == 8)
        memo(st, QString::asprintf(" %.2X%.2X %.2X%.2X %.2X%.2X %.2X%.2X", s[7], s[6], s[5], s[4], s[3], s[2], s[1], s[0]));
    else
        memo(st, QString::asprintf(" %.2X %.2X%.2X %.2X%.2X %.2X%.2X %.2X%.2X", s[8], s[7], s[6], s[5], s[4], s[3], s[2],
                                   s[1], s[0]));
    return d->MakerId == kAtmelMaker ? checkAtmel(st, s, n) : checkOtherMaker(st, s);
}

}  // namespace tesmar
