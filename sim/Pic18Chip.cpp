#include "sim/Pic18Chip.h"

#include <algorithm>
#include <cstdio>

namespace tesmar::sim {

namespace {

constexpr std::uint8_t kDataErasePage = 32;
constexpr std::uint8_t kRevisionBits = 0x1F;
// The revision a new part reports in the low bits of DEVID1.
constexpr std::uint8_t kRevision = 0x03;
constexpr std::array<std::uint8_t, 2> kWordAck{'O', 'K'};
constexpr std::array<std::uint8_t, 2> kWordFailure{'E', 'E'};
constexpr std::uint8_t kConfigAck = 'D';
constexpr std::uint8_t kConfigFailure = 'F';

constexpr std::size_t areaIndex(Pic18Chip::Area a) { return std::size_t(a); }

std::vector<std::uint8_t> pairs(std::size_t n, std::uint8_t first, std::uint8_t second) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = (i % 2 == 0) ? first : second;
    return v;
}

// Bytes fixed when the stream starts; any frame from the host ends it.
class StreamSource : public ByteSource {
public:
    explicit StreamSource(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
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

// Takes one area's program data two bytes at a time and answers each pair.
// After a pair that does not read back the firmware gives up on the area; it
// still takes what is left of the block the host was sending (the host stops
// after the failure report, so waiting for more would swallow its next frames).
class ProgramSink : public ByteSink {
public:
    ProgramSink(std::shared_ptr<Pic18Chip> chip, Pic18Chip::Area area, std::size_t total, std::size_t block)
        : chip_(std::move(chip)), area_(area), total_(total), limit_(total), block_(std::max<std::size_t>(block, 1)) {}

    std::size_t consume(std::span<const std::uint8_t> bytes, FrameContext& ctx) override {
        std::vector<std::uint8_t> out;
        std::size_t i = 0;
        for (; i < bytes.size() && taken_ < limit_; ++i) {
            chip_->noteProgramByte(area_, bytes[i]);
            ++taken_;
            if (failed_) continue;
            pair_[fill_++] = bytes[i];
            if (fill_ < 2 && taken_ < total_) continue;
            // A final odd byte stands for a pair whose second byte is erased.
            std::uint8_t b0 = pair_[0], b1 = fill_ == 2 ? pair_[1] : 0xFF;
            fill_ = 0;
            std::size_t a = (taken_ - 1) & ~std::size_t(1);
            auto got = chip_->programPair(area_, a, b0, b1, ctx.faults());
            if (got[0] == b0 && got[1] == b1) {
                out.insert(out.end(), kWordAck.begin(), kWordAck.end());
                continue;
            }
            out.insert(out.end(), kWordFailure.begin(), kWordFailure.end());
            if (area_ == Pic18Chip::Area::Data) out.insert(out.end(), {got[0], got[1], b0, b1});
            else out.insert(out.end(), {got[1], got[0], b1, b0});  // words high byte first
            failed_ = true;
            limit_ = std::min(total_, (taken_ + block_ - 1) / block_ * block_);
        }
        send(out, ctx);
        return i;
    }
    bool done() const override { return taken_ >= limit_; }
    std::string what() const override { return "PIC18 program data"; }

private:
    void send(std::vector<std::uint8_t>& out, FrameContext& ctx) {
        if (const auto& stall = ctx.faults().acksStallAfter) {
            std::uint64_t room = *stall > acked_ ? *stall - acked_ : 0;
            if (out.size() > room) out.resize(std::size_t(room));
        }
        acked_ += out.size();
        if (!out.empty()) ctx.reply(out);
    }

    std::shared_ptr<Pic18Chip> chip_;
    Pic18Chip::Area area_;
    std::size_t total_, limit_, block_;
    std::size_t taken_ = 0;
    std::array<std::uint8_t, 2> pair_{};
    std::size_t fill_ = 0;
    bool failed_ = false;
    std::uint64_t acked_ = 0;
};

}  // namespace

Pic18Chip::Pic18Chip(const Params& params)
    : Chip(params.codeBytes, std::vector<std::uint8_t>{0xFF, params.blank},
           std::vector<std::uint8_t>(params.deviceId.begin(), params.deviceId.end())),
      params_(params),
      data_(pairs(params.dataBytes, params.blank, 0xFF)),
      ids_(pairs(kPic18IdBytes, 0xFF, params.blank)),
      config_(params.configDefaults) {}

std::shared_ptr<Pic18Chip> Pic18Chip::blankFor(const tesmar::DeviceRecord& rec) {
    Params p;
    p.codeBytes = std::size_t(rec.LastAddress) + 1;
    p.blank = rec.BlankByte;
    if (rec.StepMask & 0x02) p.dataBytes = std::size_t(rec.DataEepromSize) + 1;
    p.calibrationWord = (rec.StepMask & 0x08) != 0;
    std::copy_n(rec.ConfigMasks.begin(), kPic18ConfigBytes, p.configDefaults.begin());
    p.flash = (rec.Buttons >> tesmar::BtnErase) & 1;
    p.dataErase = rec.PageCode == kDataErasePage;
    std::uint8_t devid1 = rec.DeviceId2;
    if (rec.DeviceId != 0 && (devid1 & kRevisionBits) == 0) devid1 |= kRevision;
    p.deviceId = {devid1, rec.DeviceId};
    return std::make_shared<Pic18Chip>(p);
}

std::string Pic18Chip::technology() const {
    return params_.flash ? "flash PIC18" : "OTP PIC18";
}

bool Pic18Chip::allErased() const {
    return isBlank() && data_ == pairs(data_.size(), params_.blank, 0xFF) &&
           ids_ == pairs(kPic18IdBytes, 0xFF, params_.blank) && config_ == params_.configDefaults;
}

void Pic18Chip::loadData(std::size_t offset, std::span<const std::uint8_t> bytes) {
    for (std::size_t i = 0; i < bytes.size() && offset + i < data_.size(); ++i) data_[offset + i] = bytes[i];
}

void Pic18Chip::loadIds(std::size_t offset, std::span<const std::uint8_t> bytes) {
    for (std::size_t i = 0; i < bytes.size() && offset + i < ids_.size(); ++i) ids_[offset + i] = bytes[i];
}

void Pic18Chip::loadConfig(std::size_t offset, std::span<const std::uint8_t> bytes) {
    for (std::size_t i = 0; i < bytes.size() && offset + i < config_.size(); ++i) config_[offset + i] = bytes[i];
}

std::optional<std::uint8_t> Pic18Chip::lastVdd() const {
    if (vdds_.empty()) return std::nullopt;
    return vdds_.back();
}

std::optional<std::uint8_t> Pic18Chip::lastVpp() const {
    if (vpps_.empty()) return std::nullopt;
    return vpps_.back();
}

std::vector<std::uint8_t> Pic18Chip::streamFrom(Area start) const {
    std::vector<std::uint8_t> s;
    auto from = [start](Area a) { return areaIndex(start) <= areaIndex(a); };
    if (from(Area::Code)) s.insert(s.end(), memory().begin(), memory().end());
    if (from(Area::Data)) s.insert(s.end(), data_.begin(), data_.end());
    if (from(Area::Id)) s.insert(s.end(), ids_.begin(), ids_.end());
    if (params_.calibrationWord && from(Area::Calibration))
        s.insert(s.end(), params_.calibration.begin(), params_.calibration.end());
    s.insert(s.end(), config_.begin(), config_.end());
    return s;
}

std::optional<Pic18Chip::Area> Pic18Chip::areaOf(std::uint8_t letter) const {
    if (letter == 'p') return Area::Code;
    if (letter == 'd' && !data_.empty()) return Area::Data;
    if (letter == 'i') return Area::Id;
    if (letter == 'c') return Area::Config;
    return std::nullopt;
}

std::array<std::uint8_t, 2> Pic18Chip::programPair(Area area, std::size_t a, std::uint8_t b0, std::uint8_t b1,
                                                   const FaultPlan& faults) {
    std::array<std::uint8_t, 2> in{b0, b1};
    std::array<std::uint8_t, 2> out{0xFF, 0xFF};
    for (std::size_t k = 0; k < 2; ++k) {
        std::size_t n = a + k;
        switch (area) {
        case Area::Code:
            if (n >= size()) break;
            program(n, in[k], faults.stuckOnesAt(std::uint32_t(n ^ 1)));
            out[k] = at(n);
            break;
        case Area::Id:
            if (n >= ids_.size()) break;
            ids_[n] = std::uint8_t((ids_[n] & in[k]) | faults.stuckOnesAt(kPic18IdImage + std::uint32_t(n ^ 1)));
            out[k] = ids_[n];
            break;
        case Area::Data:
            if (n >= data_.size()) break;
            data_[n] = std::uint8_t(in[k] | faults.stuckOnesAt(kPic18DataImage + std::uint32_t(n)));
            out[k] = data_[n];
            break;
        case Area::Calibration:
        case Area::Config:
            break;
        }
    }
    return out;
}

std::uint8_t Pic18Chip::programConfig(std::size_t i, std::uint8_t value, const FaultPlan& faults) {
    if (i >= config_.size()) return 0xFF;
    std::uint8_t v = params_.flash ? value : std::uint8_t(config_[i] & value);
    config_[i] = std::uint8_t(v | faults.stuckOnesAt(kPic18ConfigImage + std::uint32_t(i)));
    return config_[i];
}

void Pic18Chip::noteProgramByte(Area area, std::uint8_t b) {
    lastProgram_[areaIndex(area)].push_back(b);
}

std::vector<std::uint8_t> Pic18Chip::lastProgramData(Area area) const {
    return lastProgram_[areaIndex(area)];
}

void Pic18Chip::bulkErase() {
    erase();
    data_ = pairs(data_.size(), params_.blank, 0xFF);
    ids_ = pairs(kPic18IdBytes, 0xFF, params_.blank);
    config_ = params_.configDefaults;
}

void Pic18Chip::log(const std::string& what, std::uint8_t letter) {
    char text[16];
    if (letter >= 0x21 && letter < 0x7F) std::snprintf(text, sizeof text, " %c", char(letter));
    else std::snprintf(text, sizeof text, " 0x%02X", letter);
    commands_.push_back(what + text);
}

bool Pic18Chip::handleFrame(const Frame& f, FrameContext& ctx) {
    const FaultPlan& faults = ctx.faults();
    if ((f[0] == 'C' || f[0] == 'P') && f[2] == 'S' && f[3] == 'E') {
        if (f[0] == 'C') {
            vdds_.push_back(f[1]);
            commands_.push_back("Vdd " + std::to_string(f[1]));
        } else {
            vpps_.push_back(f[1]);
            commands_.push_back("Vpp " + std::to_string(f[1]));
        }
        return true;
    }
    if (f[0] == 'E' && f[1] == 'R' && f[3] == 0) {
        auto area = areaOf(f[2]);
        if (!area) return false;
        log("ER", f[2]);
        ctx.startStream(std::make_unique<StreamSource>(streamFrom(*area)));
        return true;
    }
    if (f[0] == 'E' && f[1] == 'P') {
        auto area = areaOf(f[2]);
        // Only the code frame carries a parameter byte.
        if (!area || (*area != Area::Code && f[3] != 0)) return false;
        if (*area == Area::Code) {
            programParam_ = f[3];
            char text[24];
            std::snprintf(text, sizeof text, "EP p 0x%02X", f[3]);
            commands_.push_back(text);
        } else {
            log("EP", f[2]);
        }
        std::string answer = faults.programSend.value_or(std::string(kWordSend));
        ctx.replyWord(Reply::Other, answer);
        if (faults.word(Reply::Other, answer) != kWordSend) return true;
        lastProgram_[areaIndex(*area)].clear();
        auto self = std::static_pointer_cast<Pic18Chip>(shared_from_this());
        switch (*area) {
        case Area::Config:
            ctx.receive(kPic18ConfigBytes, "PIC18 configuration data",
                        [self](std::vector<std::uint8_t> data, FrameContext& c) {
                            std::vector<std::uint8_t> acks;
                            for (std::size_t i = 0; i < data.size(); ++i) {
                                self->noteProgramByte(Area::Config, data[i]);
                                bool good = self->programConfig(i, data[i], c.faults()) == data[i];
                                acks.push_back(good ? kConfigAck : kConfigFailure);
                            }
                            c.reply(acks);
                        });
            break;
        case Area::Code:
            ctx.receive(std::make_unique<ProgramSink>(self, Area::Code, size(), kPic18CodeBlock));
            break;
        case Area::Data:
            ctx.receive(std::make_unique<ProgramSink>(self, Area::Data, data_.size(), data_.size()));
            break;
        case Area::Id:
            ctx.receive(std::make_unique<ProgramSink>(self, Area::Id, ids_.size(), ids_.size()));
            break;
        case Area::Calibration:
            break;
        }
        return true;
    }
    if (f.is("EE23")) {
        ++eraseCommands_;
        commands_.push_back("EE23");
        if (!faults.eraseFails) bulkErase();
        return true;
    }
    if (f.is("ES23")) {
        if (!params_.dataErase) return false;
        ++dataEraseCommands_;
        commands_.push_back("ES23");
        if (!faults.eraseFails) data_ = pairs(data_.size(), params_.blank, 0xFF);
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
