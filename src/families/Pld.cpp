#include "families/Pld.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "families/FamilyCommon.h"
#include "families/FuseTransfer.h"
#include "families/PldGeometry.h"
#include "link/Replies.h"
#include "link/UsbPort.h"
#include "operations/Report.h"

namespace tesmar {
namespace {

constexpr int kAfterSecureMs = 100;
constexpr std::uint32_t kSecureReplyLength = 4;

std::uint8_t voltsByte(double volts) { return std::uint8_t(std::clamp(std::trunc(volts * 10), 0.0, 255.0)); }

// Everything a transfer needs of the current device.
struct Geometry {
    const GalRow& g;
    std::uint32_t rows() const { return std::uint32_t(g.rows); }
    std::uint32_t bits() const { return std::uint32_t(g.rowBits); }
    std::uint32_t arrayFuses() const { return rows() * bits(); }
    std::uint32_t configBits() const { return std::uint32_t(g.configBits); }
    FuseOrder arrayOrder() const { return FuseOrder::deviceRows(rows(), bits()); }
    FuseOrder uesOrder() const { return FuseOrder::run(std::uint32_t(g.uesFuse)); }
    FuseOrder configOrder() const { return FuseOrder::list(g.configFuses); }
};

const GalRow* geometryOf(const AppState& st) {
    return st.dev() && st.usb ? pldGeometry(*st.dev()) : nullptr;
}

void startArea(AppState& st, std::uint32_t count) {
    st.TransferCount = count;
    setGaugeMax(st, int(count));
    setGaugePos(st, 0);
}

// A read frame and its second write (length, row address).
void sendRead(AppState& st, const proto::Frame& frame, std::uint32_t length, std::uint32_t row) {
    writeFrame(st, frame);
    const std::uint8_t tail[2] = {std::uint8_t(length), std::uint8_t(row)};
    writeBytes(st, tail, 2);
}

enum class Area { Array, User, Config };

// An area that ended just as Abort came starts no other: the programmer was
// told to stop.
FuseResult afterArea(const AppState& st, FuseResult r) {
    return r == FuseResult::Done && st.RunFlag.load() == 0 ? FuseResult::Aborted : r;
}

// The array, the UES row (where the part has one) and the configuration
// fuses in turn, each byte handled by `action`. Stops at the first area that
// does not end Done; `area` tells which.
FuseResult transferAreas(AppState& st, FuseAction action, Area& area) {
    const GalRow* row = geometryOf(st);
    if (!row) return FuseResult::Failed;
    const Geometry geo{*row};

    area = Area::Array;
    startArea(st, geo.arrayFuses());
    sendRead(st, proto::pldReadArrayFrame(std::uint8_t(geo.rows())), geo.bits(), 0);
    FuseResult r = afterArea(st, receiveFuses(st, action, geo.arrayFuses(), geo.bits(), geo.arrayOrder()));
    if (r != FuseResult::Done) return r;

    if (pldHasUes(*st.dev())) {
        area = Area::User;
        // The UES comes as whole device rows, which may hold more than its bytes.
        const std::uint32_t ues = std::uint32_t(row->uesBytes) * 8;
        const std::uint32_t count = (ues + geo.bits() - 1) / geo.bits() * geo.bits();
        startArea(st, ues);
        sendRead(st, proto::kPldReadUes, geo.bits(), std::uint32_t(row->uesRow));
        r = afterArea(st, receiveFuses(st, action, count, geo.bits(), geo.uesOrder()));
        if (r != FuseResult::Done) return r;
    }

    area = Area::Config;
    startArea(st, geo.configBits());
    sendRead(st, proto::kPldReadConfig, geo.configBits(), std::uint32_t(row->configRow));
    return receiveFuses(st, action, geo.configBits(), geo.configBits(), geo.configOrder());
}

// A program step's "Send": the part was prepared and takes the data now.
bool partAsksForData(AppState& st) { return readReplyWord(st, proto::kReplySend); }

// One program step after the array: its frame, "Send", the bytes in one
// write, then one acknowledgement byte per bit.
bool programStep(AppState& st, const proto::Frame& frame, const std::vector<std::uint8_t>& bits) {
    writeFrame(st, frame);
    startArea(st, std::uint32_t(bits.size()));
    if (!partAsksForData(st)) return false;
    writeBytes(st, bits.data(), bits.size());
    return receiveFuses(st, FuseAction::Discard, std::uint32_t(bits.size()), 1, FuseOrder::run(0)) ==
           FuseResult::Done;
}

}  // namespace

proto::PldHeader pldHeaderFor(const AppState& st, char op) {
    const GalRow* g = st.dev() ? pldGeometry(*st.dev()) : nullptr;
    if (!g) return {};
    const PldRunState& p = st.pld;
    // An erase time past the byte is sent as the longest the byte can say.
    const auto eraseTime = std::uint8_t(std::min(p.EraseTime / 5, 255));
    return proto::pldHeader(op, voltsByte(p.PldVpp), std::uint8_t(g->eraseRow), eraseTime,
                            std::uint8_t(g->configRow), std::uint8_t(g->configBits), std::uint8_t(g->rowBits),
                            std::uint8_t(g->rows), std::uint8_t(p.PulseWidth), voltsByte(p.PldVcc));
}

void notePldUntransferredFuses(AppState& st) {
    if (!st.dev()) return;
    for (const FuseRange& r : pldUntransferredFuses(*st.dev()))
        memo(st, QString::asprintf(" Fuses %d-%d are not read, programmed or verified", int(r.first), int(r.last)));
}

void PldDoOperation(AppState& st) {
    const DeviceRecord* d = st.dev();
    if (!d || !st.usb) {
        finishOperation(st);
        return;
    }
    beginOperation(st, int(std::min<std::uint32_t>(d->LastAddress, 0x7FFFFFFF)));
    st.pld.PldType = d->Algorithm;
    const char op = st.OperationCode.load();
    if (op == 'P' || op == 'V' || op == 'R') notePldUntransferredFuses(st);
    switch (op) {
    case 'E':
        PldErase(st);
        if (runOk(st)) {
            st.OperationCode = 'B';
            PldBlankCheck(st);
        }
        break;
    case 'B':
        PldBlankCheck(st);
        break;
    case 'P':
        PldProgram(st);
        if (runOk(st)) PldVerify(st);
        if (st.pld.PldSecureFlag != 0 && runOk(st)) {
            PldSecure(st);
            pauseMs(st, kAfterSecureMs);
        }
        break;
    case 'S':
        PldSecure(st);
        pauseMs(st, kAfterSecureMs);
        break;
    case 'R':
        PldRead(st);
        break;
    case 'V':
        PldVerify(st);
        break;
    default:
        break;
    }
    finishOperation(st);
}

void PldRead(AppState& st) {
    Area area;
    if (transferAreas(st, FuseAction::Store, area) == FuseResult::Done) successLine(st, " Read Completed");
}

void PldVerify(AppState& st) {
    Area area;
    switch (transferAreas(st, FuseAction::Compare, area)) {
    case FuseResult::Done:
        successLine(st, " Verify Completed");
        break;
    case FuseResult::Mismatch:
        failLine(st, area == Area::Array  ? " Verify Array Error"
                     : area == Area::User ? " Verify User Error"
                                          : " Verify Config Error");
        break;
    default:
        break;
    }
}

void PldBlankCheck(AppState& st) {
    Area area;
    switch (transferAreas(st, FuseAction::Blank, area)) {
    case FuseResult::Done: successLine(st, " Blank Check Completed"); break;
    case FuseResult::Mismatch: failLine(st, " Not Blank"); break;
    default: break;
    }
}

void PldErase(AppState& st) {
    if (!geometryOf(st)) return;
    const proto::PldHeader header = pldHeaderFor(st, 'E');
    writeBytes(st, header.data(), header.size());
    // Without "Done" the blank check that follows tells what the part holds.
    if (readReplyWord(st, proto::kReplyDone)) successLine(st, " Erased ");
}

void PldProgram(AppState& st) {
    const GalRow* row = geometryOf(st);
    if (!row) return;
    const Geometry geo{*row};
    const bool ues = pldHasUes(*st.dev());
    // Everything the part will take, gathered before the first frame: once
    // the part has asked for data it gets all of it.
    const std::vector<std::uint8_t> array = gatherFuses(st, geo.arrayFuses(), geo.arrayOrder());
    const std::vector<std::uint8_t> user = ues ? gatherFuses(st, geo.bits(), geo.uesOrder()) : std::vector<std::uint8_t>{};
    const std::vector<std::uint8_t> config = gatherFuses(st, geo.configBits(), geo.configOrder());
    if (st.ErrorFlag.get() != 0) return;

    const proto::PldHeader header = pldHeaderFor(st, 'P');
    writeBytes(st, header.data(), header.size());
    startArea(st, geo.arrayFuses());
    // Without "Send" nothing was programmed; the verify tells the difference.
    if (!partAsksForData(st)) return;
    // Every row goes out, Abort or not: the part waits for all it was promised.
    for (std::uint32_t r = 0; r < geo.rows(); ++r) writeBytes(st, array.data() + std::size_t(r) * geo.bits(), geo.bits());
    if (receiveFuses(st, FuseAction::Discard, geo.arrayFuses(), geo.bits(), FuseOrder::run(0)) != FuseResult::Done)
        return;
    if (ues && (!runOk(st) || !programStep(st, proto::kPldProgramUes, user))) return;
    if (!runOk(st) || !programStep(st, proto::kPldProgramConfig, config)) return;
    successLine(st, " Programming Completed");
}

void PldSecure(AppState& st) {
    if (!geometryOf(st)) return;
    writeFrame(st, proto::pldSecureFrame(voltsByte(st.pld.PldVcc), std::uint8_t(st.pld.PulseWidth)));
    // The reply says nothing, but it must come: a part that did not answer
    // was not seen to take the frame.
    std::uint8_t reply[kSecureReplyLength];
    int status = UsbOk;
    if (!waitForBytes(st, 1) || readBytes(st, reply, kSecureReplyLength, &status) < kSecureReplyLength ||
        status != UsbOk)
        failLine(st, " Error with read");
}

}  // namespace tesmar
