#include "sim/PicChip.h"

#include <algorithm>

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
std::vector<std::uint8_t> blankWords(std::size_t n, std::uint8_t blank) { return alternatingBytes(n, blank, 0xFF); }

// The bits of configuration word 1 (high byte, low byte) that protect the
// code and the data memory, as each configuration page sets them; a 0 in any
// of them protects.
struct Protection {
    std::uint8_t codeHigh = 0, codeLow = 0, dataHigh = 0, dataLow = 0;
};

Protection protectionFor(std::uint8_t page, std::span<const std::uint8_t> masks) {
    switch (page) {
    case 0: case 5: case 15: case 40: return {0x00, 0x08};
    case 1: case 24: return {0x00, 0x10};
    case 2: return {0x00, 0x30};
    case 3: case 12: case 29: return {0x3F, 0x30};
    // The 14C000 keeps its calibration space's copies (word bits 13, 8, 7)
    // apart: only the program-space copies hide the code.
    case 7: return {0x1E, 0x30};
    case 4: return {0x20, 0x00};
    case 6: return {0x3F, 0x60};
    case 8: return {0x3F, 0xB0};
    case 9: return {0x3F, 0xF0};
    case 10: case 16: return {0x00, 0x40, 0x00, 0x80};
    // 16C642, 16C662, 16C715: two protection bits, each held in four copies
    // (word bits 13:12, 11:10, 9:8 and 5:4).
    case 17: return {0x3F, 0x30};
    // The wide 16C5x parts repeat the protection bit over bits 11..3.
    case 19:
        if (masks.size() >= 2 && masks[0] == 0x0F && masks[1] == 0xFF) return {0x0F, 0xF8};
        return {0x00, 0x08};
    case 20: return {0x0F, 0xD0};
    case 21: return {0x30, 0x30, 0x01, 0x00};
    case 22: return {0x33, 0x30};
    case 23: return {0x3C, 0x00, 0x01, 0x00};
    case 30: case 31: case 33: return {0x20, 0x00, 0x01, 0x00};
    case 32: case 46: case 47: case 48: case 49: case 50: return {0x00, 0x80, 0x01, 0x00};
    default: return {};
    }
}

PicConfigRules configRulesFor(const PicChip::Params& p) {
    std::vector<std::uint8_t> implemented(p.configBytes, 0xFF), erased(p.configBytes), code(p.configBytes),
        data(p.configBytes);
    for (std::size_t i = 0; i < p.configBytes; ++i) {
        if (i < p.configMasks.size()) implemented[i] = p.configMasks[i];
        std::uint8_t word = i % 2 == 0 ? std::uint8_t(p.blank & 0x3F) : 0xFF;  // bits the word has
        // Enhanced mid-range parts read their missing bits as 1, the others as 0.
        erased[i] = p.enhanced ? word : std::uint8_t(word & implemented[i]);
    }
    Protection prot = protectionFor(p.pageCode, p.configMasks);
    if (p.configBytes >= 2) {
        code[0] = prot.codeHigh, code[1] = prot.codeLow;
        data[0] = prot.dataHigh, data[1] = prot.dataLow;
    }
    return PicConfigRules(std::move(implemented), std::move(erased), std::move(code), std::move(data));
}

}  // namespace

PicChip::PicChip(const Params& params)
    : PicFamilyChip(params.codeBytes, std::vector<std::uint8_t>{params.blank, 0xFF},
           std::vector<std::uint8_t>(params.deviceId.begin(), params.deviceId.end())),
      params_(params),
      data_(params.dataBytes, 0xFF),
      ids_(blankWords(params.idBytes, params.blank)),
      calibration_(params.calibration) {
    setConfigRules(configRulesFor(params_));
    for (std::size_t i = 0; i < params_.configBytes; ++i) config_.push_back(configRules().erasedByte(i));
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
    p.configMasks.assign(rec.ConfigMasks.begin(), rec.ConfigMasks.end());
    p.pageCode = rec.PageCode;
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
    for (std::size_t i = 0; i < config_.size(); ++i) {
        std::uint8_t mask = (params_.bandgap && i == 0) ? std::uint8_t(~kPicBandgapBits) : 0xFF;
        if ((config_[i] & mask) != (configRules().erasedByte(i) & mask)) return false;
    }
    return true;
}

std::uint16_t PicChip::idWord(std::size_t n) const {
    if (2 * n + 1 >= ids_.size()) return 0;
    return std::uint16_t(ids_[2 * n] << 8 | ids_[2 * n + 1]);
}

void PicChip::loadConfig(std::size_t offset, std::span<const std::uint8_t> bytes) {
    for (std::size_t k = 0; k < bytes.size() && offset + k < config_.size(); ++k)
        config_[offset + k] = configRules().settle(offset + k, bytes[k]);
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
    if (from(Area::Code)) {
        if (codeProtected()) s.resize(memory().size(), 0x00);
        else s.insert(s.end(), memory().begin(), memory().end());
    }
    if (from(Area::Data)) {
        const bool hidden = dataProtected();
        for (std::uint8_t b : data_) s.insert(s.end(), {params_.blank, hidden ? std::uint8_t(0) : b});
    }
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
    // Protected memory takes nothing and reads 0.
    if (area == Area::Code && codeProtected()) return {0x00, 0x00};
    if (area == Area::Data && dataProtected()) return {params_.blank, 0x00};
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

std::uint8_t PicChip::configTarget(std::size_t i, std::uint8_t value) const {
    // The firmware writes the factory bandgap bits back whatever the host sent there.
    if (params_.bandgap && i == 0 && !config_.empty())
        return std::uint8_t((value & ~kPicBandgapBits) | (config_[0] & kPicBandgapBits));
    return value;
}

std::uint8_t PicChip::programConfig(std::size_t i, std::uint8_t value, const FaultPlan& faults) {
    if (i >= config_.size()) return 0xFF;
    std::uint8_t stuck = faults.stuckOnesAt(imageBase(Area::Config) + std::uint32_t(i));
    // The factory bandgap bits are not the host's to change: the firmware writes them back.
    std::uint8_t cell = writeConfigCell(i, config_[i], value, params_.flash, stuck, faults);
    if (params_.bandgap && i == 0)
        cell = std::uint8_t((cell & ~kPicBandgapBits) | (config_[0] & kPicBandgapBits));
    config_[i] = cell;
    return config_[i];
}

void PicChip::bulkErase(const FaultPlan& faults) {
    // The factory values survive: the firmware reads them first and writes them back.
    auto cal = calibration();
    std::uint8_t bandgap = config_.empty() ? 0 : std::uint8_t(config_[0] & kPicBandgapBits);
    erase();
    eraseData();
    ids_ = blankWords(ids_.size(), params_.blank);
    for (std::size_t i = 0; i < config_.size(); ++i) config_[i] = erasedConfigByte(i, faults);
    if (params_.calibrationAtTop) setCalibration(cal);
    if (params_.bandgap && !config_.empty())
        config_[0] = std::uint8_t((config_[0] & ~kPicBandgapBits) | bandgap);
}

void PicChip::eraseData() {
    std::fill(data_.begin(), data_.end(), std::uint8_t(0xFF));
}

PicWordResult PicChip::writeWord(Area area, std::size_t total, bool keepLastWord, std::size_t a, std::uint8_t hi,
                                 std::uint8_t lo, const FaultPlan& faults) {
    std::size_t w = a / 2;
    // The calibration word is not taken from the host: its place holds a filler.
    if (keepLastWord && w + 1 == (total + 1) / 2) return {PicWordResult::Kind::Skipped, {}};
    auto got = programWord(area, w, hi, lo, faults);
    bool good = area == Area::Data ? got[1] == lo : (got[0] == hi && got[1] == lo);
    if (good) return {PicWordResult::Kind::Good, {}};
    return {PicWordResult::Kind::Failed, {got[0], got[1], hi, lo}};
}

std::optional<std::vector<std::uint8_t>> PicChip::readStream(std::uint8_t letter) const {
    auto area = areaOf(letter);
    if (!area) return std::nullopt;
    return streamFrom(*area);
}

bool PicChip::handleFrame(const Frame& f, FrameContext& ctx) {
    if (handleSharedFrame(f, ctx)) return true;
    if (f[0] == 'E' && f[1] == 'P' && f[3] == 0) {
        auto area = areaOf(f[2]);
        // The calibration word is the factory's; the firmware has no program frame for it.
        if (!area || *area == Area::Calibration) return false;
        log("EP", f[2]);
        if (!acceptProgram(areaIndex(*area), ctx)) return true;
        auto self = std::static_pointer_cast<PicChip>(shared_from_this());
        if (*area == Area::Config) {
            receiveConfig(ctx, areaIndex(Area::Config), config_.size(), "PIC configuration data",
                          [self](std::size_t i, std::uint8_t value, const FaultPlan& faults) {
                              std::uint8_t want = self->configTarget(i, value);
                              return self->configRules().readsAs(i, self->programConfig(i, value, faults), want);
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
        Area which = *area;
        receiveWords(ctx, areaIndex(which), total, total, "PIC program data",
                     [self, which, total, keepLast](std::size_t a, std::uint8_t hi, std::uint8_t lo,
                                                    const FaultPlan& faults) {
                         return self->writeWord(which, total, keepLast, a, hi, lo, faults);
                     });
        return true;
    }
    return false;
}

}  // namespace tesmar::sim
