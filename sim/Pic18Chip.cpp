#include "sim/Pic18Chip.h"

#include <algorithm>
#include <cstdio>

namespace tesmar::sim {

namespace {

constexpr std::uint8_t kDataErasePage = 32;
constexpr std::uint8_t kRevisionBits = 0x1F;
// The revision a new part reports in the low bits of DEVID1.
constexpr std::uint8_t kRevision = 0x03;

constexpr std::size_t areaIndex(Pic18Chip::Area a) { return std::size_t(a); }

std::vector<std::uint8_t> pairs(std::size_t n, std::uint8_t first, std::uint8_t second) {
    return alternatingBytes(n, first, second);
}

constexpr std::size_t kConfig5H = 8, kConfig5L = 9;

bool hasProtectionPage(std::uint8_t page) {
    return page == 27 || page == 28 || (page >= 34 && page <= 38) || (page >= 41 && page <= 45);
}

PicConfigRules configRulesFor(const Pic18Chip::Params& p) {
    std::vector<std::uint8_t> defaults(p.configDefaults.begin(), p.configDefaults.end());
    std::vector<std::uint8_t> code(kPic18ConfigBytes), data(kPic18ConfigBytes);
    if (hasProtectionPage(p.pageCode)) {
        code[kConfig5L] = 0x3F;  // CP0 .. CP5
        code[kConfig5H] = 0x40;  // CPB
        data[kConfig5H] = 0x80;  // CPD
    }
    return PicConfigRules(defaults, defaults, std::move(code), std::move(data));
}

}  // namespace

Pic18Chip::Pic18Chip(const Params& params)
    : PicFamilyChip(params.codeBytes, std::vector<std::uint8_t>{0xFF, params.blank},
           std::vector<std::uint8_t>(params.deviceId.begin(), params.deviceId.end())),
      params_(params),
      data_(pairs(params.dataBytes, params.blank, 0xFF)),
      ids_(pairs(kPic18IdBytes, 0xFF, params.blank)),
      config_(params.configDefaults) {
    setConfigRules(configRulesFor(params_));
}

std::shared_ptr<Pic18Chip> Pic18Chip::blankFor(const tesmar::DeviceRecord& rec) {
    Params p;
    p.codeBytes = std::size_t(rec.LastAddress) + 1;
    p.blank = rec.BlankByte;
    if (rec.StepMask & 0x02) p.dataBytes = std::size_t(rec.DataEepromSize) + 1;
    p.calibrationWord = (rec.StepMask & 0x08) != 0;
    std::copy_n(rec.ConfigMasks.begin(), kPic18ConfigBytes, p.configDefaults.begin());
    p.flash = (rec.Buttons >> tesmar::BtnErase) & 1;
    p.dataErase = rec.PageCode == kDataErasePage;
    p.pageCode = rec.PageCode;
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

void Pic18Chip::loadConfig(std::size_t offset, std::span<const std::uint8_t> bytes) {
    for (std::size_t k = 0; k < bytes.size() && offset + k < config_.size(); ++k)
        config_[offset + k] = configRules().settle(offset + k, bytes[k]);
}

std::vector<std::uint8_t> Pic18Chip::streamFrom(Area start) const {
    std::vector<std::uint8_t> s;
    auto from = [start](Area a) { return areaIndex(start) <= areaIndex(a); };
    if (from(Area::Code)) {
        if (codeProtected()) s.resize(memory().size(), 0x00);
        else s.insert(s.end(), memory().begin(), memory().end());
    }
    if (from(Area::Data)) {
        if (dataProtected()) s.resize(s.size() + data_.size(), 0x00);
        else s.insert(s.end(), data_.begin(), data_.end());
    }
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
    // Protected memory takes nothing and reads 0.
    if ((area == Area::Code && codeProtected()) || (area == Area::Data && dataProtected())) return {0x00, 0x00};
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
    std::uint8_t stuck = faults.stuckOnesAt(kPic18ConfigImage + std::uint32_t(i));
    config_[i] = writeConfigCell(i, config_[i], value, params_.flash, stuck, faults);
    return config_[i];
}

void Pic18Chip::bulkErase(const FaultPlan& faults) {
    erase();
    eraseData();
    ids_ = pairs(kPic18IdBytes, 0xFF, params_.blank);
    for (std::size_t i = 0; i < config_.size(); ++i) config_[i] = erasedConfigByte(i, faults);
}

void Pic18Chip::eraseData() {
    data_ = pairs(data_.size(), params_.blank, 0xFF);
}

PicWordResult Pic18Chip::writePair(Area area, std::size_t a, std::uint8_t b0, std::uint8_t b1,
                                   const FaultPlan& faults) {
    auto got = programPair(area, a, b0, b1, faults);
    if (got[0] == b0 && got[1] == b1) return {PicWordResult::Kind::Good, {}};
    if (area == Area::Data) return {PicWordResult::Kind::Failed, {got[0], got[1], b0, b1}};
    return {PicWordResult::Kind::Failed, {got[1], got[0], b1, b0}};  // words high byte first
}

std::optional<std::vector<std::uint8_t>> Pic18Chip::readStream(std::uint8_t letter) const {
    auto area = areaOf(letter);
    if (!area) return std::nullopt;
    return streamFrom(*area);
}

bool Pic18Chip::handleFrame(const Frame& f, FrameContext& ctx) {
    if (handleSharedFrame(f, ctx)) return true;
    if (f[0] == 'E' && f[1] == 'P') {
        auto area = areaOf(f[2]);
        // Only the code frame carries a parameter byte.
        if (!area || (*area != Area::Code && f[3] != 0)) return false;
        if (*area == Area::Code) {
            programParam_ = f[3];
            char text[24];
            std::snprintf(text, sizeof text, "EP p 0x%02X", f[3]);
            logLine(text);
        } else {
            log("EP", f[2]);
        }
        if (!acceptProgram(areaIndex(*area), ctx)) return true;
        auto self = std::static_pointer_cast<Pic18Chip>(shared_from_this());
        if (*area == Area::Config) {
            receiveConfig(ctx, areaIndex(Area::Config), kPic18ConfigBytes, "PIC18 configuration data",
                          [self](std::size_t i, std::uint8_t value, const FaultPlan& faults) {
                              return self->configRules().readsAs(i, self->programConfig(i, value, faults), value);
                          });
            return true;
        }
        std::size_t total = 0, block = 0;
        switch (*area) {
        case Area::Code: total = size(), block = kPic18CodeBlock; break;
        case Area::Data: total = block = data_.size(); break;
        case Area::Id: total = block = ids_.size(); break;
        case Area::Calibration:
        case Area::Config: return true;
        }
        Area which = *area;
        receiveWords(ctx, areaIndex(which), total, block, "PIC18 program data",
                     [self, which](std::size_t a, std::uint8_t b0, std::uint8_t b1, const FaultPlan& faults) {
                         return self->writePair(which, a, b0, b1, faults);
                     });
        return true;
    }
    return false;
}

}  // namespace tesmar::sim
