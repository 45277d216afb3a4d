#include "sim/PicChip.h"

#include <algorithm>
#include <cstdio>

namespace tesmar::sim {

namespace {

constexpr std::uint32_t kClassicIdBase = 0x4000;
constexpr std::uint32_t kEnhancedIdBase = 0x10000;
constexpr std::uint32_t kConfigOffset = 0x0E;
constexpr std::uint32_t kDataOffset = 0x200;
constexpr std::uint8_t kDataLetterZeroPage = 40;
constexpr std::uint8_t kBandgapPage = 32;
constexpr std::uint8_t kEnhancedPage = 46;
constexpr std::uint8_t kFullIdBytePage = 49;
constexpr std::uint8_t kRevisionBits = 0x1F;
// The revision a new part reports in the free low bits of its second ID byte.
constexpr std::uint8_t kRevision = 0x05;

constexpr std::size_t areaIndex(PicChip::Area a) { return std::size_t(a); }

// The erased word pattern over n bytes: blank, 0xFF, blank, 0xFF ...
std::vector<std::uint8_t> blankWords(std::size_t n, std::uint8_t blank) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = (i % 2 == 0) ? blank : 0xFF;
    return v;
}

// Bytes fixed when the stream starts: nothing the host sends during a read
// can change the part (any frame ends the stream).
class PicStreamSource : public ByteSource {
public:
    explicit PicStreamSource(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    std::size_t produce(std::span<std::uint8_t> out) override {
        std::size_t n = std::min(out.size(), bytes_.size() - pos_);
        std::copy_n(bytes_.begin() + std::ptrdiff_t(pos_), n, out.begin());
        pos_ += n;
        return n;
    }
    bool finished() const override { return pos_ >= bytes_.size(); }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t pos_ = 0;
};

// Takes one area's data after "Send" and programs it word by word, answering
// each word as it goes. After a word that does not read back the firmware
// gives up on the area but still takes the rest of its bytes, so that the
// data already on its way is not read as frames.
class PicProgramSink : public ByteSink {
public:
    PicProgramSink(std::shared_ptr<PicChip> chip, PicChip::Area area, std::size_t total, bool keepLastWord)
        : chip_(std::move(chip)), area_(area), total_(total), keepLastWord_(keepLastWord) {}

    std::size_t consume(std::span<const std::uint8_t> bytes, FrameContext& ctx) override {
        std::vector<std::uint8_t> out;
        std::size_t i = 0;
        for (; i < bytes.size() && taken_ < total_; ++i) {
            chip_->noteProgramByte(area_, bytes[i]);
            ++taken_;
            if (failed_) continue;
            word_[fill_++] = bytes[i];
            if (fill_ < 2 && taken_ < total_) continue;
            // A final odd byte stands for a word whose low half is erased.
            std::uint8_t hi = word_[0], lo = fill_ == 2 ? word_[1] : 0xFF;
            fill_ = 0;
            std::size_t w = (taken_ - 1) / 2;
            // The calibration word is not taken from the host: its place holds a filler.
            if (keepLastWord_ && w + 1 == (total_ + 1) / 2) continue;
            auto got = chip_->programWord(area_, w, hi, lo, ctx.faults());
            bool good = area_ == PicChip::Area::Data ? got[1] == lo : (got[0] == hi && got[1] == lo);
            if (good) {
                out.insert(out.end(), kPicWordAck.begin(), kPicWordAck.end());
            } else {
                out.insert(out.end(), kPicWordFailure.begin(), kPicWordFailure.end());
                out.insert(out.end(), {got[0], got[1], hi, lo});
                failed_ = true;
            }
        }
        send(out, ctx);
        return i;
    }
    bool done() const override { return taken_ >= total_; }
    std::string what() const override { return "PIC program data"; }

private:
    void send(std::vector<std::uint8_t>& out, FrameContext& ctx) {
        if (const auto& stall = ctx.faults().acksStallAfter) {
            std::uint64_t room = *stall > acked_ ? *stall - acked_ : 0;
            if (out.size() > room) out.resize(std::size_t(room));
        }
        acked_ += out.size();
        if (!out.empty()) ctx.reply(out);
    }

    std::shared_ptr<PicChip> chip_;
    PicChip::Area area_;
    std::size_t total_;
    bool keepLastWord_;
    std::size_t taken_ = 0;
    std::array<std::uint8_t, 2> word_{};
    std::size_t fill_ = 0;
    bool failed_ = false;
    std::uint64_t acked_ = 0;
};

}  // namespace

PicChip::PicChip(const Params& params)
    : Chip(params.codeBytes, std::vector<std::uint8_t>{params.blank, 0xFF},
           std::vector<std::uint8_t>(params.deviceId.begin(), params.deviceId.end())),
      params_(params),
      data_(params.dataBytes, 0xFF),
      ids_(blankWords(params.idBytes, params.blank)),
      config_(blankWords(params.configBytes, params.blank)),
      calibration_(params.calibration) {
    if (params_.idBackupWord) idBackup_ = params.calibration;
    if (params_.calibrationAtTop) setCalibration(params.calibration);
    if (params_.bandgap && !config_.empty())
        config_[0] = std::uint8_t((config_[0] & ~kPicBandgapBits) | (params_.bandgapValue & kPicBandgapBits));
}

std::shared_ptr<PicChip> PicChip::blankFor(const tesmar::DeviceRecord& rec) {
    Params p;
    p.codeBytes = std::size_t(rec.LastAddress) + 1;
    p.blank = rec.BlankByte;
    if (rec.StepMask & 0x02) p.dataBytes = std::size_t(rec.DataEepromSize) + 1;
    p.dataLetterZero = rec.PageCode == kDataLetterZeroPage;
    p.idBackupWord = rec.Algorithm == 11;
    p.calibrationWord = (rec.StepMask & 0x08) != 0;
    p.calibrationAtTop = rec.PageCode == kBandgapPage || rec.Algorithm == 6 || rec.Algorithm == 11;
    p.configBytes = rec.ConfigMaskCount;
    p.bandgap = rec.PageCode == kBandgapPage;
    p.enhanced = rec.PageCode >= kEnhancedPage;
    p.flash = (rec.Buttons >> tesmar::BtnErase) & 1;
    std::uint8_t second = rec.DeviceId2;
    if (rec.DeviceId != 0 && rec.PageCode != kFullIdBytePage && (second & kRevisionBits) == 0) second |= kRevision;
    p.deviceId = {rec.DeviceId, second};
    // A 12-bit part's calibration word is a MOVLW, a 14-bit part's a RETLW.
    if (rec.BlankByte <= 0x0F) p.calibration = {0x0C, 0x70};
    return std::make_shared<PicChip>(p);
}

std::string PicChip::technology() const {
    return params_.flash ? "flash PIC" : "OTP PIC";
}

std::array<std::uint8_t, 2> PicChip::calibration() const {
    if (params_.calibrationAtTop && size() >= 2) return {at(size() - 2), at(size() - 1)};
    return calibration_;
}

void PicChip::setCalibration(std::array<std::uint8_t, 2> word) {
    if (params_.calibrationAtTop && size() >= 2) load(size() - 2, word);
    else calibration_ = word;
}

bool PicChip::allErased() const {
    std::size_t codeEnd = size();
    if (params_.calibrationAtTop) codeEnd = size() >= 2 ? size() - 2 : 0;
    for (std::size_t a = 0; a < codeEnd; ++a)
        if (at(a) != erasedAt(a)) return false;
    if (std::any_of(data_.begin(), data_.end(), [](std::uint8_t b) { return b != 0xFF; })) return false;
    if (ids_ != blankWords(ids_.size(), params_.blank)) return false;
    auto cfg = blankWords(config_.size(), params_.blank);
    for (std::size_t i = 0; i < cfg.size(); ++i) {
        std::uint8_t mask = (params_.bandgap && i == 0) ? std::uint8_t(~kPicBandgapBits) : 0xFF;
        if ((config_[i] & mask) != (cfg[i] & mask)) return false;
    }
    return true;
}

void PicChip::loadData(std::size_t offset, std::span<const std::uint8_t> bytes) {
    for (std::size_t i = 0; i < bytes.size() && offset + i < data_.size(); ++i) data_[offset + i] = bytes[i];
}

void PicChip::loadIds(std::size_t offset, std::span<const std::uint8_t> bytes) {
    for (std::size_t i = 0; i < bytes.size() && offset + i < ids_.size(); ++i) ids_[offset + i] = bytes[i];
}

void PicChip::loadConfig(std::size_t offset, std::span<const std::uint8_t> bytes) {
    for (std::size_t i = 0; i < bytes.size() && offset + i < config_.size(); ++i) config_[offset + i] = bytes[i];
}

std::uint32_t PicChip::imageBase(Area area) const {
    std::uint32_t idBase = params_.enhanced ? kEnhancedIdBase : kClassicIdBase;
    switch (area) {
    case Area::Code: return 0;
    case Area::Data: return idBase + kDataOffset;
    case Area::Id: return idBase;
    case Area::Calibration: return idBase + std::uint32_t(params_.idBytes) + (params_.idBackupWord ? 2 : 0);
    case Area::Config: return idBase + kConfigOffset;
    }
    return 0;
}

std::vector<std::uint8_t> PicChip::streamFrom(Area start) const {
    std::vector<std::uint8_t> s;
    auto from = [start](Area a) { return areaIndex(start) <= areaIndex(a); };
    if (from(Area::Code)) s.insert(s.end(), memory().begin(), memory().end());
    if (from(Area::Data))
        for (std::uint8_t b : data_) s.insert(s.end(), {params_.blank, b});
    if (from(Area::Id)) {
        s.insert(s.end(), ids_.begin(), ids_.end());
        if (params_.idBackupWord) s.insert(s.end(), idBackup_.begin(), idBackup_.end());
    }
    if (params_.calibrationWord) {
        auto cal = calibration();
        s.insert(s.end(), cal.begin(), cal.end());
    }
    s.insert(s.end(), config_.begin(), config_.end());
    return s;
}

std::optional<PicChip::Area> PicChip::areaOf(std::uint8_t letter) const {
    std::uint8_t dataLetter = params_.dataLetterZero ? 0 : 'd';
    if (letter == 'p') return Area::Code;
    if (letter == dataLetter && params_.dataBytes > 0) return Area::Data;
    if (letter == 'i') return Area::Id;
    if (letter == 'k' && params_.calibrationWord) return Area::Calibration;
    if (letter == 'c') return Area::Config;
    return std::nullopt;
}

std::uint8_t PicChip::cellWrite(std::uint8_t old, std::uint8_t value, std::uint8_t stuck) const {
    std::uint8_t v = params_.flash ? value : std::uint8_t(old & value);
    return std::uint8_t(v | stuck);
}

std::array<std::uint8_t, 2> PicChip::programWord(Area area, std::size_t word, std::uint8_t hi, std::uint8_t lo,
                                                 const FaultPlan& faults) {
    std::uint32_t base = imageBase(area);
    auto stuck = [&](std::size_t offset) { return faults.stuckOnesAt(base + std::uint32_t(offset)); };
    std::size_t a = 2 * word;
    switch (area) {
    case Area::Code: {
        std::array<std::uint8_t, 2> in{hi, lo};
        for (std::size_t k = 0; k < 2; ++k) {
            if (a + k >= size()) continue;
            std::uint8_t cell = cellWrite(at(a + k), in[k], stuck(a + k));
            load(a + k, std::span<const std::uint8_t>(&cell, 1));
        }
        return {at(a), at(a + 1)};
    }
    case Area::Id: {
        std::array<std::uint8_t, 2> in{hi, lo};
        std::array<std::uint8_t, 2> out{0xFF, 0xFF};
        for (std::size_t k = 0; k < 2; ++k) {
            if (a + k >= ids_.size()) continue;
            ids_[a + k] = cellWrite(ids_[a + k], in[k], stuck(a + k));
            out[k] = ids_[a + k];
        }
        return out;
    }
    case Area::Data:
        if (word >= data_.size()) return {params_.blank, 0xFF};
        data_[word] = std::uint8_t(lo | stuck(a + 1));
        return {params_.blank, data_[word]};
    case Area::Calibration:
    case Area::Config:
        break;
    }
    return {0xFF, 0xFF};
}

std::uint8_t PicChip::programConfig(std::size_t i, std::uint8_t value, const FaultPlan& faults) {
    if (i >= config_.size()) return 0xFF;
    // The firmware writes the factory bandgap bits back whatever the host sent there.
    if (params_.bandgap && i == 0)
        value = std::uint8_t((value & ~kPicBandgapBits) | (config_[0] & kPicBandgapBits));
    config_[i] = cellWrite(config_[i], value, faults.stuckOnesAt(imageBase(Area::Config) + std::uint32_t(i)));
    return config_[i];
}

void PicChip::noteProgramByte(Area area, std::uint8_t b) {
    lastProgram_[areaIndex(area)].push_back(b);
}

std::vector<std::uint8_t> PicChip::lastProgramData(Area area) const {
    return lastProgram_[areaIndex(area)];
}

void PicChip::bulkErase() {
    // The factory values survive: the firmware reads them first and writes them back.
    auto cal = calibration();
    std::uint8_t bandgap = config_.empty() ? 0 : std::uint8_t(config_[0] & kPicBandgapBits);
    erase();
    eraseData();
    ids_ = blankWords(ids_.size(), params_.blank);
    config_ = blankWords(config_.size(), params_.blank);
    if (params_.calibrationAtTop) setCalibration(cal);
    if (params_.bandgap && !config_.empty())
        config_[0] = std::uint8_t((config_[0] & ~kPicBandgapBits) | bandgap);
}

void PicChip::eraseData() {
    std::fill(data_.begin(), data_.end(), std::uint8_t(0xFF));
}

void PicChip::log(const std::string& what, std::uint8_t letter) {
    char text[16];
    if (letter >= 0x21 && letter < 0x7F) std::snprintf(text, sizeof text, " %c", char(letter));
    else std::snprintf(text, sizeof text, " 0x%02X", letter);
    commands_.push_back(what + text);
}

bool PicChip::handleFrame(const Frame& f, FrameContext& ctx) {
    const FaultPlan& faults = ctx.faults();
    if ((f[0] == 'C' || f[0] == 'P') && f[2] == 'S' && f[3] == 'E') {
        if (f[0] == 'C') {
            lastVdd_ = f[1];
            commands_.push_back("Vdd " + std::to_string(f[1]));
        } else {
            lastVpp_ = f[1];
            commands_.push_back("Vpp " + std::to_string(f[1]));
        }
        return true;
    }
    if (f[0] == 'E' && f[1] == 'R' && f[3] == 0) {
        auto area = areaOf(f[2]);
        if (!area) return false;
        log("ER", f[2]);
        ctx.startStream(std::make_unique<PicStreamSource>(streamFrom(*area)));
        return true;
    }
    if (f[0] == 'E' && f[1] == 'P' && f[3] == 0) {
        auto area = areaOf(f[2]);
        // The calibration word is the factory's; the firmware has no program frame for it.
        if (!area || *area == Area::Calibration) return false;
        log("EP", f[2]);
        std::string answer = faults.programSend.value_or(std::string(kWordSend));
        ctx.replyWord(Reply::Other, answer);
        if (faults.word(Reply::Other, answer) != kWordSend) return true;
        lastProgram_[areaIndex(*area)].clear();
        auto self = std::static_pointer_cast<PicChip>(shared_from_this());
        if (*area == Area::Config) {
            ctx.receive(config_.size(), "PIC configuration data",
                        [self](std::vector<std::uint8_t> data, FrameContext& c) {
                            std::vector<std::uint8_t> acks;
                            for (std::size_t i = 0; i < data.size(); ++i) {
                                self->noteProgramByte(Area::Config, data[i]);
                                std::uint8_t want = data[i];
                                if (self->params_.bandgap && i == 0)
                                    want = std::uint8_t((want & ~kPicBandgapBits) |
                                                        (self->config_[0] & kPicBandgapBits));
                                bool good = self->programConfig(i, data[i], c.faults()) == want;
                                acks.push_back(good ? kPicConfigAck : kPicConfigFailure);
                            }
                            if (!acks.empty()) c.reply(acks);
                        });
            return true;
        }
        std::size_t total = 0;
        bool keepLast = false;
        switch (*area) {
        case Area::Code:
            total = size();
            keepLast = params_.calibrationAtTop;
            break;
        case Area::Data: total = data_.size() * 2; break;
        case Area::Id: total = ids_.size(); break;
        case Area::Calibration:
        case Area::Config: break;
        }
        ctx.receive(std::make_unique<PicProgramSink>(self, *area, total, keepLast));
        return true;
    }
    if (f.is("EE23")) {
        ++eraseCommands_;
        commands_.push_back("EE23");
        if (!faults.eraseFails) bulkErase();
        return true;
    }
    if (f.is("ES23")) {
        if (!params_.bandgap) return false;
        ++dataEraseCommands_;
        commands_.push_back("ES23");
        if (!faults.eraseFails) eraseData();
        return true;
    }
    if (f.is('E', 'I', 0, 0)) {
        commands_.push_back("EI");
        std::vector<std::uint8_t> id = faults.signature.value_or(signature());
        id.resize(2, 0xFF);
        ctx.reply(id);
        return true;
    }
    return false;
}

}  // namespace tesmar::sim
