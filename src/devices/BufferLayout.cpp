#include "devices/BufferLayout.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "families/PldGeometry.h"

namespace tesmar {

bool recordIsUsable(const DeviceRecord& rec) {
    return rec.LastAddress < kMaxDeviceBytes;
}

std::uint32_t selectionBufferSize(const DeviceRecord& rec) {
    const std::uint64_t last = rec.LastAddress;
    std::uint64_t size = (last | 0xFFFF) + 1;
    if (rec.FamilyLetter == 'C') {
        // The block reaches the fixed areas of the part's layout.
        switch (picAreas(rec).kind) {
        case PicKind::Pic18: size = 0x100000; break;
        case PicKind::Enhanced: size = 0x20000; break;
        case PicKind::Classic: size = (last | 0x1FFFF) + 1; break;
        }
    } else if (rec.FamilyLetter == 'M') {
        size = (last | 0x1FFFF) + 1;
        if (rec.PageCode >= 46) size = 0x20000;
    }
    if (rec.FamilyLetter == 'O') size *= 2;
    return std::uint32_t(std::min<std::uint64_t>(size, 2ull * kMaxDeviceBytes));
}

void allocateForSelection(ImageBuffer& buf, const DeviceRecord& rec) {
    buf.replace(selectionBufferSize(rec));
    buf.BufferLastAddress = rec.LastAddress;
}

void prefillErased(ImageBuffer& buf, const DeviceRecord& rec) {
    const std::size_t n = std::min<std::size_t>(buf.BufferViewSize, buf.size());
    std::uint8_t* p = buf.DeviceBuffer.data();
    const char f = rec.FamilyLetter;
    if (f == 'C' || f == 'O' || f == 'Y') {
        for (std::size_t i = 0; i < n; ++i) p[i] = (i & 1) ? 0xFF : rec.BlankByte;
    } else if (f == 'P') {
        // A fuse map holds fuse values, not the digit the record names them by.
        std::memset(p, pldBlankFuse(rec), n);
    } else {
        std::memset(p, rec.BlankByte, n);
    }
    buf.BufferCursor = 0;
}

void allocateOddEven(ImageBuffer& buf, const DeviceRecord& rec) {
    const std::uint64_t size = 2ull * rec.LastAddress + 2;
    buf.replace(std::size_t(size));
    std::fill(buf.DeviceBuffer.begin(), buf.DeviceBuffer.end(), rec.BlankByte);
}

void SetPic18DefaultConfig(ImageBuffer& buf, const DeviceRecord& rec) {
    if (buf.size() < kPic18ConfigPlace + kPic18ConfigBytes) return;
    std::memcpy(buf.DeviceBuffer.data() + kPic18ConfigPlace, rec.ConfigMasks.data(), kPic18ConfigBytes);
}

// ---- PIC areas ---------------------------------------------------------------

namespace {

constexpr std::uint32_t kPicCalibrationStep = 0x08;
constexpr std::uint32_t kPicDataStep = 0x02;

PicFileRow fileRowFor(std::int8_t algorithm) {
    switch (algorithm) {
    case 1: case 2: case 4: case 5: case 7: case 9: case 10: return PicFileRow::MidRange;
    case 3: return PicFileRow::Alg3;
    case 8: return PicFileRow::Alg8;
    case 18: return PicFileRow::Pic18;
    default: return PicFileRow::Baseline;
    }
}

void setFamilyPlaces(PicAreas& a, const DeviceRecord& r) {
    const std::uint32_t des = r.DataEepromSize;
    const bool hasData = (r.StepMask & kPicDataStep) != 0;
    if (a.kind == PicKind::Pic18) {
        a.id = {true, kPic18IdPlace, kPicIdBytes};
        a.config = {true, kPic18ConfigPlace, kPic18ConfigBytes};
        a.data = {hasData, kPic18DataPlace, des + 1};
        a.hasCalibration = (r.StepMask & kPicCalibrationStep) != 0;
        return;
    }
    const std::uint32_t base = a.kind == PicKind::Enhanced ? kPicEnhancedBase : kPicClassicBase;
    a.id = {true, base, kPicIdBytes};
    a.config = {true, base + kPicConfigOffset, r.ConfigMaskCount};
    a.data = {hasData, base + kPicDataOffset, (des + 1) * 2};
    a.idPairBytes = r.Algorithm == 11 ? 2 : 0;
    a.hasCalibration = (r.StepMask & kPicCalibrationStep) != 0;
    a.calibrationPlace = base + kPicIdBytes + a.idPairBytes;
}

void setFilePlaces(PicAreas& a, const DeviceRecord& r) {
    const std::uint32_t des = r.DataEepromSize;
    const std::uint32_t cfgLen = r.ConfigMaskCount;
    const std::uint32_t code = a.fileCodeBytes;
    switch (a.row) {
    case PicFileRow::MidRange:
        if (r.PageCode < kPicFirstEnhancedPage) {
            a.fileId = {true, kPicClassicBase, 0x4000, 0x2000, kPicIdBytes};
            a.fileConfig = {true, kPicClassicBase + kPicConfigOffset, 0x400E, 0x2007, cfgLen};
            a.fileData = {true, kPicClassicBase + kPicDataOffset, 0x4200, 0x2100, (des + 1) * 2};
        } else {
            a.fileId = {true, kPicEnhancedBase, 0x10000, 0x8000, kPicIdBytes};
            a.fileConfig = {true, kPicEnhancedBase + kPicConfigOffset, 0x1000E, 0x8007, cfgLen};
            a.fileData = {true, kPicEnhancedBase + kPicDataOffset, 0x1E000, 0xF000, (des + 1) * 2};
        }
        break;
    case PicFileRow::Alg3:
        a.fileConfig = {true, kPicClassicBase + kPicConfigOffset, 0xFE00, 0xFE00, cfgLen};
        break;
    case PicFileRow::Alg8:
        a.fileConfig = {true, 0x800E, 0xFE00, 0xFE00, cfgLen};
        break;
    case PicFileRow::Pic18:
        // Above 64 KiB in the file: INHX8M reaches them through extended
        // linear records, INHX16 through the same records counted in words.
        // The ID record spans 16 bytes, up to the configuration.
        a.fileId = {true, kPic18IdPlace, 0x200000, 0x100000, 16};
        a.fileConfig = {true, kPic18ConfigPlace, 0x300000, 0x180000, kPic18ConfigBytes};
        a.fileData = {true, kPic18DataPlace, 0xF00000, 0x780000, des + 1};
        break;
    case PicFileRow::Baseline:
        a.fileId = {true, kPicClassicBase, code, code / 2, kPicIdBytes};
        a.fileConfig = {true, kPicClassicBase + kPicConfigOffset, 0x1FFE, 0xFFF, cfgLen};
        break;
    }
    a.fileWritesData = a.fileData.present && (r.Algorithm == 2 || r.Algorithm == 18 || des != 0);
}

}  // namespace

std::uint64_t PicAreas::end() const {
    std::uint64_t e = 0;
    for (const PicPlace* p : {&id, &config, &data})
        if (p->present) e = std::max<std::uint64_t>(e, std::uint64_t(p->buf) + p->len);
    for (const PicFilePlace* p : {&fileId, &fileConfig, &fileData})
        if (p->present) e = std::max<std::uint64_t>(e, std::uint64_t(p->buf) + std::max<std::uint32_t>(p->len, 2));
    if (hasCalibration && kind != PicKind::Pic18) e = std::max<std::uint64_t>(e, calibrationPlace + 2ull);
    return e;
}

PicAreas picAreas(const DeviceRecord& r) {
    PicAreas a;
    if (r.Algorithm == 18)
        a.kind = PicKind::Pic18;
    else if (r.PageCode >= kPicFirstEnhancedPage)
        a.kind = PicKind::Enhanced;
    const std::uint64_t code = std::uint64_t(r.LastAddress) + 1;
    a.codeBytes = std::uint32_t(std::min<std::uint64_t>(code, 0xFFFFFFFFu));
    a.fileCodeBytes = std::uint32_t(std::min<std::uint64_t>((std::uint64_t(r.LastAddress) | 0xF) + 1, 0xFFFFFFF0u));
    setFamilyPlaces(a, r);
    a.row = fileRowFor(r.Algorithm);
    setFilePlaces(a, r);
    return a;
}

std::string picAreaMismatch(const DeviceRecord& r) {
    const PicAreas a = picAreas(r);
    auto hex = [](std::uint64_t v) {
        char s[24];
        std::snprintf(s, sizeof s, "0x%llX", static_cast<unsigned long long>(v));
        return std::string(s);
    };
    struct Pair {
        const char* name;
        const PicPlace& family;
        const PicFilePlace& file;
        bool saved;
    };
    for (const Pair& p : {Pair{"ID locations", a.id, a.fileId, true},
                          Pair{"configuration", a.config, a.fileConfig, true},
                          Pair{"data EEPROM", a.data, a.fileData, a.fileWritesData}}) {
        if (!p.family.present) continue;
        const std::string name = p.name;
        if (p.family.buf < a.codeBytes) return name + " at " + hex(p.family.buf) + " inside the code";
        if (!p.file.present || !p.saved) return name + " not kept by the hex files";
        if (p.file.buf != p.family.buf)
            return name + " loaded to " + hex(p.file.buf) + ", programmed from " + hex(p.family.buf);
        if (p.file.len < p.family.len) return name + ": the hex files keep fewer bytes than the part has";
        if (a.row != PicFileRow::Pic18 && p.file.file < a.fileCodeBytes)
            return name + " at file address " + hex(p.file.file) + " inside the code";
    }
    return {};
}

}  // namespace tesmar
