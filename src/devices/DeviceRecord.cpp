#include "devices/DeviceRecord.h"

#include <cstring>

namespace tesmar {
namespace {

std::uint16_t u16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }

std::uint32_t u32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

float f32(const std::uint8_t* p) {
    std::uint32_t bits = u32(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// A text field ends at its first NUL or after its full width.
std::string text(const std::uint8_t* p, std::size_t width) {
    std::size_t n = 0;
    while (n < width && p[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

}  // namespace

DeviceRecord DeviceRecord::fromImage(const std::uint8_t* r) {
    DeviceRecord d;
    std::memcpy(d.Raw.data(), r, kDeviceRecordSize);
    d.Algorithm = std::int8_t(r[0x00]);
    d.FamilyLetter = char(r[0x01]);
    d.Name = text(r + 0x02, 20);
    d.Vdd = f32(r + 0x16);
    d.VddMax = f32(r + 0x1A);
    d.VddMin = f32(r + 0x1E);
    d.Vpp = f32(r + 0x22);
    d.LastAddress = u32(r + 0x26);
    d.PulseWidth = u16(r + 0x2B);
    d.EraseTime = u16(r + 0x2D);
    d.FirmwareParam1 = r[0x2F];
    std::memcpy(d.PowerPins.data(), r + 0x31, 12);
    d.PinCount = std::int8_t(r[0x6A]);
    d.MakerId = r[0x6B];
    d.DeviceId = r[0x6C];
    d.DeviceId2 = r[0x6D];
    d.PageCode = r[0x6E];
    d.FirmwareParam2 = r[0x6F];
    d.FirmwareParam3 = r[0x77];
    d.BlankByte = r[0x78];
    d.ProgramParam = r[0x79];
    d.DataEepromSize = u16(r + 0x7A);
    d.EpromVoltage = f32(r + 0x7D);
    d.ConfigMaskCount = r[0x97];
    std::memcpy(d.ConfigMasks.data(), r + 0x98, 16);
    d.FpgaFile = text(r + 0xA8, 8);
    d.McuFile = text(r + 0xB0, 8);
    d.DefaultOptions = r[0xB8];
    d.OptionMask = r[0xBA];
    d.Buttons = u16(r + 0xBC);
    d.StepMask = r[0xBE];
    d.AdapterCode = r[0xBF];
    return d;
}

}  // namespace tesmar
