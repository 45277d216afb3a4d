#include "sim/McuChip.h"

#include <algorithm>
#include <cstdio>

#include "sim/SimProgrammer.h"

namespace tesmar::sim {

namespace {

constexpr std::size_t kAckGroup = 4;
constexpr std::uint8_t kSelector55 = 0x55;
// The byte 3 of an algorithm-32 EEPROM program frame.
constexpr std::uint8_t kAvrEepromParam = 4;
// Bits an algorithm 28 or 30 fuse write and an algorithm 30 lock write leave to the host.
constexpr std::uint8_t kFuseBits2830 = 0x21;
constexpr std::uint8_t kLockBits30 = 0x06;
constexpr std::uint8_t kSecurityBits = 0x03;
// The chip code whose fuse byte carries the two lock bits.
constexpr std::uint8_t kLockInFuseCode = 212;

// What a new part holds in its calibration row (1, 2, 4 and 8 MHz).
constexpr std::array<std::uint8_t, 4> kFactoryCalibration{0xA6, 0x9B, 0x92, 0x88};

struct ChipCodeTraits {
    std::uint8_t code;
    std::size_t fuseReadBytes;
    std::uint8_t eesave;  // EESAVE bit of the high fuse byte, 0 = none
    bool extendedFuse;
    std::array<std::uint8_t, 3> factoryFuses;
};

// Chip codes of the AVR parts; every other code (and none) answers "ERL" with one byte.
constexpr ChipCodeTraits kChipCodes[] = {
    {200, 1, 0x00, false, {0xFC, 0xFF, 0xFF}}, {201, 1, 0x00, false, {0x52, 0xFF, 0xFF}},
    {202, 1, 0x00, false, {0xDF, 0xFF, 0xFF}}, {203, 7, 0x04, false, {0xE1, 0xF7, 0xFF}},
    {204, 7, 0x08, false, {0xE1, 0xD9, 0xFF}}, {205, 4, 0x08, true, {0x62, 0xDF, 0xF9}},
    {207, 8, 0x08, true, {0x62, 0x99, 0xFF}},  {209, 4, 0x08, true, {0x62, 0xDF, 0xFF}},
    {210, 1, 0x08, true, {0x62, 0xD9, 0xFF}},  {211, 4, 0x40, true, {0x64, 0xDF, 0xFF}},
};

const ChipCodeTraits* traitsOf(std::uint8_t code) {
    for (const auto& t : kChipCodes)
        if (t.code == code) return &t;
    return nullptr;
}

std::string hex2(unsigned v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%02X", v);
    return text;
}

// A locked part streams this instead of the byte at that offset: never the true value.
std::uint8_t garble(std::size_t offset, std::uint8_t v) {
    return std::uint8_t(v ^ (std::uint8_t(0x5A + 0x3D * offset) | 1));
}

// Takes count bytes of the image from begin on and answers every 4 with 4
// acknowledgement bytes. A host that gives up after a failure sends no more,
// and its next operation starts with a reset.
class McuProgramSink : public TrailingSink {
public:
    McuProgramSink(std::shared_ptr<McuChip> chip, std::size_t begin, std::size_t count, std::string what)
        : chip_(std::move(chip)), begin_(begin), count_(count), what_(std::move(what)) {}

    std::size_t consume(std::span<const std::uint8_t> bytes, FrameContext& ctx) override {
        std::vector<std::uint8_t> acks;
        std::size_t i = 0;
        for (; i < bytes.size() && taken_ < count_; ++i, ++taken_) {
            bool good = chip_->writeImageByte(begin_ + taken_, bytes[i], ctx.faults());
            group_.push_back(good ? kMcuAckGood : kMcuAckFailed);
            if (group_.size() == kAckGroup) {
                acks.insert(acks.end(), group_.begin(), group_.end());
                group_.clear();
            }
        }
        acks_.send(acks, ctx);
        return i;
    }
    bool done() const override { return taken_ >= count_; }
    std::string what() const override { return what_; }

private:
    std::shared_ptr<McuChip> chip_;
    std::size_t begin_, count_, taken_ = 0;
    std::string what_;
    std::vector<std::uint8_t> group_;
    AckPacer acks_;
};

// A reply word that shows only after the host has asked for it a number of
// times (an erase that takes its time).
class LateWordSource : public ByteSource {
public:
    LateWordSource(std::string word, unsigned polls) : word_(std::move(word)), wait_(polls) {}
    std::size_t produce(std::span<std::uint8_t> out) override {
        if (wait_ > 0) {
            --wait_;
            return 0;
        }
        std::size_t n = std::min(out.size(), word_.size() - pos_);
        std::copy_n(word_.begin() + std::ptrdiff_t(pos_), n, out.begin());
        pos_ += n;
        return n;
    }
    bool finished() const override { return pos_ >= word_.size(); }

private:
    std::string word_;
    unsigned wait_;
    std::size_t pos_ = 0;
};

}  // namespace

McuChip::McuChip(const Params& params)
    : Chip(params.codeBytes, std::vector<std::uint8_t>{params.blank, 0xFF},
           std::vector<std::uint8_t>(params.signature.begin(), params.signature.end())),
      params_(params),
      data_(params.dataBytes, 0xFF),
      fuses_(params.fuses) {}

std::shared_ptr<McuChip> McuChip::blankFor(const tesmar::DeviceRecord& rec) {
    Params p;
    p.algorithm = rec.Algorithm;
    p.chipCode = rec.PageCode;
    p.codeBytes = std::size_t(rec.LastAddress) + 1;
    p.dataBytes = rec.DataEepromSize;
    p.blank = rec.BlankByte;
    p.signature = {rec.MakerId, rec.DeviceId, rec.DeviceId2 != 0 ? rec.DeviceId2 : std::uint8_t(0xFF)};
    p.selector = rec.DeviceId == kSelector55 ? kSelector55 : rec.DeviceId2;
    p.programParam = rec.ProgramParam;
    p.erasable = (rec.Buttons >> tesmar::BtnErase) & 1;
    if (const ChipCodeTraits* t = traitsOf(rec.PageCode); t && (rec.Algorithm == 30 || rec.Algorithm == 32))
        p.fuses = t->factoryFuses;
    p.calibration = kFactoryCalibration;
    return std::make_shared<McuChip>(p);
}

std::string McuChip::technology() const {
    if (isAvr()) return "AVR microcontroller";
    return params_.algorithm == 26 ? "EPROM microcontroller" : "8051 microcontroller";
}

bool McuChip::needsChipCode() const {
    const int alg = params_.algorithm;
    return params_.chipCode > 199 && alg != 26 && alg != 34 && alg != 35;
}

std::size_t McuChip::fuseReadLength() const {
    const ChipCodeTraits* t = traitsOf(params_.chipCode);
    return t ? t->fuseReadBytes : 1;
}

std::uint8_t McuChip::lockBitMask(int n) const {
    const int alg = params_.algorithm;
    bool fromBit1 = alg == 30 || (alg == 32 && (params_.chipCode == 200 || params_.chipCode == 201));
    return std::uint8_t(1u << (fromBit1 ? n : n - 1));
}

bool McuChip::writeLocked(const FaultPlan& faults) const {
    return faults.lockedChip || lockBitProgrammed(1);
}

bool McuChip::readLocked(const FaultPlan& faults) const {
    return faults.lockedChip || lockBitProgrammed(params_.algorithm == 26 ? 1 : 2);
}

void McuChip::loadData(std::size_t offset, std::span<const std::uint8_t> bytes) {
    for (std::size_t i = 0; i < bytes.size() && offset + i < data_.size(); ++i) data_[offset + i] = bytes[i];
}

std::uint8_t McuChip::imageByte(std::size_t offset, bool garbled) const {
    std::size_t k = offset - params_.codeBytes;
    std::uint8_t v = offset < params_.codeBytes ? at(offset) : k < data_.size() ? data_[k] : 0xFF;
    return garbled ? garble(offset, v) : v;
}

bool McuChip::writeImageByte(std::size_t offset, std::uint8_t value, const FaultPlan& faults) {
    if (writeLocked(faults)) return imageByte(offset, false) == value;
    std::uint8_t stuck = faults.stuckOnesAt(std::uint32_t(offset));
    if (offset < params_.codeBytes) return program(offset, value, stuck) == value;
    std::size_t k = offset - params_.codeBytes;
    if (k >= data_.size()) return false;
    // The user row is flash; EEPROM bytes are erased as they are written.
    std::uint8_t old = params_.algorithm == 35 ? data_[k] : 0xFF;
    data_[k] = std::uint8_t((old & value) | stuck);
    return data_[k] == value;
}

bool McuChip::eesaveProgrammed() const {
    const ChipCodeTraits* t = traitsOf(params_.chipCode);
    return params_.algorithm == 32 && t && t->eesave && (fuses_[1] & t->eesave) == 0;
}

void McuChip::eraseChip() {
    erase();
    if (!eesaveProgrammed()) std::fill(data_.begin(), data_.end(), std::uint8_t(0xFF));
    lock_ = 0xFF;
}

std::vector<std::uint8_t> McuChip::fuseReadReply() const {
    const auto& cal = params_.calibration;
    const std::uint8_t lo = fuses_[0], hi = fuses_[1], ext = fuses_[2];
    std::vector<std::uint8_t> r;
    switch (params_.algorithm) {
    case 32:
        switch (params_.chipCode) {
        case 203: case 204: r = {lo, hi, lock_, cal[0], cal[1], cal[2], cal[3]}; break;
        case 205: case 209: case 211: r = {lo, hi, ext, lock_}; break;
        case 207: r = {lo, hi, ext, lock_, cal[0], cal[1], cal[2], cal[3]}; break;
        default: r = {lo}; break;
        }
        break;
    case 30: {
        std::uint8_t b = std::uint8_t(0x1E | (lo & kFuseBits2830));
        if (!lockBitProgrammed(1)) b |= 0x80;
        if (!lockBitProgrammed(2)) b |= 0x40;
        r = {b};
        break;
    }
    case 26: r = {lock_}; break;
    default: {
        const std::uint8_t id = params_.signature[1];
        const bool p1 = lockBitProgrammed(1), p2 = lockBitProgrammed(2), p3 = lockBitProgrammed(3);
        if (id == 0x51 || id == 0x52 || id == 0x55)
            r = {std::uint8_t((p1 ? 0x04 : 0) | (p2 ? 0x08 : 0) | (p3 ? 0x10 : 0))};
        else if (id == 0x53 || id == 0x72)
            r = {std::uint8_t(0xF8 | (p1 ? 0 : 0x04) | (p2 ? 0 : 0x02) | (p3 ? 0 : 0x01))};
        else
            r = {std::uint8_t(0xF8 | (lock_ & 0x07))};
        break;
    }
    }
    r.resize(fuseReadLength(), 0xFF);
    return r;
}

std::uint8_t McuChip::fuseByteReply() const {
    if (params_.chipCode == kLockInFuseCode) return std::uint8_t((fuses_[0] & 0xFC) | (lock_ & 0x03));
    return fuses_[0];
}

void McuChip::note(FrameContext& ctx, const std::string& what, std::uint8_t got, std::uint8_t want) {
    if (got != want) ctx.note(what + ": byte 3 is " + hex2(got) + ", the part expects " + hex2(want));
}

void McuChip::answerWrite(FrameContext& ctx, Target target, std::uint8_t sent, std::uint8_t held) {
    writes_.push_back({target, sent});
    const auto& limit = ctx.faults().configRepliesAfter;
    if (!limit || configAnswers_ < *limit) ctx.reply({held});
    ++configAnswers_;
}

void McuChip::streamImage(FrameContext& ctx, std::size_t begin, std::size_t count, std::vector<std::uint8_t> tail) {
    bool garbled = readLocked(ctx.faults());
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) bytes[i] = imageByte(begin + i, garbled);
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    ctx.startStream(std::make_unique<FixedBytesSource>(std::move(bytes)));
}

void McuChip::takeProgramData(FrameContext& ctx, std::size_t begin, std::size_t count, std::string what) {
    auto self = std::static_pointer_cast<McuChip>(shared_from_this());
    ctx.receive(std::make_unique<McuProgramSink>(self, begin, count, std::move(what)));
}

void McuChip::takeFuseBytes(FrameContext& ctx) {
    auto self = std::static_pointer_cast<McuChip>(shared_from_this());
    ctx.receive(1, "high fuse byte", [self](std::vector<std::uint8_t> b, FrameContext& c) {
        self->commands_.push_back("fuse high");
        self->fuses_[1] = b[0];
        self->answerWrite(c, Target::FuseHigh, b[0], b[0]);
        const ChipCodeTraits* t = traitsOf(self->params_.chipCode);
        if (!t || !t->extendedFuse) return;
        c.receive(1, "extended fuse byte", [self](std::vector<std::uint8_t> e, FrameContext& c2) {
            self->commands_.push_back("fuse extended");
            self->fuses_[2] = e[0];
            self->answerWrite(c2, Target::FuseExt, e[0], e[0]);
        });
    });
}

void McuChip::selectChipCode(std::uint8_t code, FrameContext& ctx) {
    commands_.push_back("EC");
    if (!needsChipCode())
        ctx.note("chip-code select " + std::to_string(code) + " for a part that takes none");
    else if (code != params_.chipCode)
        ctx.note("chip-code select " + std::to_string(code) + " for a part of chip code " +
                 std::to_string(params_.chipCode));
    selected_ = code;
}

bool McuChip::handleFrame(const Frame& f, FrameContext& ctx) {
    if (f[0] != 'E') return false;
    if (f[1] == 'C' && f[2] == 0) {
        selectChipCode(f[3], ctx);
        return true;
    }
    if (needsChipCode() && !selected_) ctx.note("frame " + f.hex() + " before the chip-code select");
    if (f.is('E', 'I', 0, 0)) {
        commands_.push_back("EI");
        const FaultPlan& faults = ctx.faults();
        if (faults.chipIdReply) {
            ctx.reply(*faults.chipIdReply);
            return true;
        }
        std::vector<std::uint8_t> id = faults.signature.value_or(signature());
        id.resize(3, 0xFF);
        ctx.reply(id);
        return true;
    }
    return dataFrame(f, ctx) || configFrame(f, ctx);
}

bool McuChip::dataFrame(const Frame& f, FrameContext& ctx) {
    const int alg = params_.algorithm;
    const std::size_t code = params_.codeBytes;
    auto self = std::static_pointer_cast<McuChip>(shared_from_this());
    // Algorithms 30 and 32 name the EEPROM size after the frame.
    auto sized = [self](FrameContext& c, std::size_t size, const char* what) {
        if (size != self->data_.size())
            c.note(std::string(what) + " for " + std::to_string(size) + " bytes; the part has " +
                   std::to_string(self->data_.size()));
    };
    if (f[1] == 'R' && (f[2] == 'p' || f[2] == 0) && (f[3] == 0 || (f[3] == 'B' && alg == 26))) {
        commands_.push_back("ERp");
        if (alg == 35) streamImage(ctx, 0, code + kMcuUserRowBytes, {fuses_[0]});
        else streamImage(ctx, 0, code);
        return true;
    }
    if (f[1] == 'R' && f[2] == 'e') {
        if (alg == 28 && f[3] == 0) {
            commands_.push_back("ERe");
            streamImage(ctx, code, kMcuFixedEepromBytes);
            return true;
        }
        if (!isAvr()) return false;
        commands_.push_back("ERe");
        const std::uint8_t x = f[3];
        ctx.receive(2, "EEPROM read size", [self, sized, x, code](std::vector<std::uint8_t> s, FrameContext& c) {
            const std::size_t size = std::size_t(s[0]) << 8 | s[1];
            sized(c, size, "EEPROM read");
            if (x != 0 && x != (size & 0xFF)) c.note("EEPROM read frame byte 3 " + hex2(x) + " matches no size");
            self->streamImage(c, code, size);
        });
        return true;
    }
    if (f[1] == 'P' && f[2] == 'p') {
        commands_.push_back("EPp");
        if (alg == 32) note(ctx, "EPp", f[3], params_.programParam);
        else if (alg != 35) note(ctx, "EPp", f[3], params_.selector);
        const FaultPlan& faults = ctx.faults();
        const std::string answer = faults.programSend.value_or(std::string(kWordSend));
        ctx.replyWord(Reply::Other, answer);
        if (faults.word(Reply::Other, answer) != kWordSend) return true;
        takeProgramData(ctx, 0, code + (alg == 35 ? kMcuUserRowBytes : 0), "MCU code data");
        return true;
    }
    if (f[1] == 'P' && f[2] == 'e') {
        if (alg == 28) {
            commands_.push_back("EPe");
            note(ctx, "EPe", f[3], params_.selector);
            takeProgramData(ctx, code, kMcuFixedEepromBytes, "MCU EEPROM data");
            return true;
        }
        if (!isAvr()) return false;
        commands_.push_back("EPe");
        note(ctx, "EPe", f[3], alg == 32 ? kAvrEepromParam : params_.selector);
        ctx.receive(2, "EEPROM program size", [self, sized, code](std::vector<std::uint8_t> s, FrameContext& c) {
            const std::size_t size = std::size_t(s[0]) << 8 | s[1];
            sized(c, size, "EEPROM program");
            c.replyWord(Reply::Other, kWordSend);
            self->takeProgramData(c, code, size, "MCU EEPROM data");
        });
        return true;
    }
    return false;
}

bool McuChip::configFrame(const Frame& f, FrameContext& ctx) {
    const int alg = params_.algorithm;
    const FaultPlan& faults = ctx.faults();
    if (f[1] == 'P' && f[2] >= '1' && f[2] <= '3') {
        const int n = f[2] - '0';
        commands_.push_back(std::string("EP") + char(f[2]));
        if (alg == 35 && n == 1) {
            fuses_[0] = f[3];
            answerWrite(ctx, Target::FuseLow, f[3], fuses_[0]);
            return true;
        }
        note(ctx, commands_.back(), f[3], params_.selector);
        lock_ &= std::uint8_t(~lockBitMask(n));
        answerWrite(ctx, Target(int(Target::LockBit1) + n - 1), f[3], lock_);
        return true;
    }
    if (f[1] == 'P' && f[2] == 'F') {
        if (alg != 28 && alg != 30 && alg != 32 && alg != 34) return false;
        commands_.push_back("EPF");
        // Algorithms 28 and 30 write only the host's bits; the rest of the
        // byte keeps what the part holds.
        const bool hostBitsOnly = alg == 28 || alg == 30;
        if (hostBitsOnly && (f[3] | kFuseBits2830) != 0xFF)
            ctx.note("EPF value " + hex2(f[3]) + " clears bits outside " + hex2(kFuseBits2830));
        fuses_[0] = hostBitsOnly ? std::uint8_t((fuses_[0] & ~kFuseBits2830) | (f[3] & kFuseBits2830)) : f[3];
        if (params_.chipCode == kLockInFuseCode) lock_ &= std::uint8_t(f[3] | 0xFC);
        answerWrite(ctx, Target::FuseLow, f[3], fuseByteReply());
        if (alg == 32) takeFuseBytes(ctx);
        return true;
    }
    if (f[1] == 'P' && f[2] == 'L') {
        if (!isAvr()) return false;
        commands_.push_back("EPL");
        if (alg == 30 && (f[3] | kLockBits30) != 0xFF)
            ctx.note("EPL value " + hex2(f[3]) + " clears bits outside " + hex2(kLockBits30));
        lock_ &= f[3];
        answerWrite(ctx, Target::Lock, f[3], lock_);
        return true;
    }
    if (f[1] == 'S' && f[2] == 0) {
        if (alg != 26) return false;
        commands_.push_back("ES");
        if ((f[3] | kSecurityBits) != 0xFF)
            ctx.note("ES value " + hex2(f[3]) + " clears bits outside " + hex2(kSecurityBits));
        lock_ &= f[3];
        answerWrite(ctx, Target::Security, f[3], lock_);
        return true;
    }
    if (f[1] == 'E' && f[2] == '0') {
        commands_.push_back("EE0");
        note(ctx, "EE0", f[3], params_.selector);
        if (!params_.erasable) {
            ctx.note("erase frame for a part that cannot be erased");
            return true;
        }
        if (faults.eraseFails) {
            ctx.replyWord(Reply::Other, kWordFail);
            return true;
        }
        eraseChip();
        if (faults.eraseDoneAfterPolls)
            ctx.startStream(std::make_unique<LateWordSource>(faults.word(Reply::EraseDone, kWordDone),
                                                             *faults.eraseDoneAfterPolls));
        else
            ctx.replyWord(Reply::EraseDone, kWordDone);
        return true;
    }
    if (f.is('E', 'R', 'L', 0) || (f.is('E', 'R', 'F', 0) && (alg == 28 || alg == 34 || alg == 35))) {
        const bool locks = f[2] == 'L';
        commands_.push_back(locks ? "ERL" : "ERF");
        std::vector<std::uint8_t> r = locks ? fuseReadReply() : std::vector<std::uint8_t>{fuseByteReply()};
        if (faults.fuseReadBytes && r.size() > *faults.fuseReadBytes) r.resize(*faults.fuseReadBytes);
        if (!r.empty()) ctx.reply(r);
        return true;
    }
    return false;
}

}  // namespace tesmar::sim
