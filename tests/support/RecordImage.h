#pragma once
// Device records written byte by byte, the way the family data files hold
// them, and decoded by the real reader: a test sees exactly what a record
// from disk would give.
#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "devices/DeviceRecord.h"

namespace tesmar::test {

// A 192-byte record image, zero except for what the test sets.
class RecordImage {
public:
    explicit RecordImage(char family = 0) { u8(0x01, std::uint8_t(family)); }

    // Any field at its offset (little-endian, floats IEEE single precision).
    RecordImage& u8(std::size_t at, std::uint8_t v) {
        raw_.at(at) = v;
        return *this;
    }
    RecordImage& u16(std::size_t at, std::uint16_t v) { return u8(at, std::uint8_t(v)).u8(at + 1, std::uint8_t(v >> 8)); }
    RecordImage& u32(std::size_t at, std::uint32_t v) {
        for (std::size_t i = 0; i < 4; ++i) u8(at + i, std::uint8_t(v >> (8 * i)));
        return *this;
    }
    RecordImage& f32(std::size_t at, float f) {
        std::uint32_t bits;
        std::memcpy(&bits, &f, 4);
        return u32(at, bits);
    }
    // Text in a field of `width` bytes, NUL-padded, cut when longer.
    RecordImage& text(std::size_t at, const std::string& s, std::size_t width) {
        for (std::size_t i = 0; i < width; ++i) u8(at + i, i < s.size() ? std::uint8_t(s[i]) : 0);
        return *this;
    }

    RecordImage& algorithm(std::int8_t a) { return u8(0x00, std::uint8_t(a)); }
    RecordImage& family(char letter) { return u8(0x01, std::uint8_t(letter)); }
    RecordImage& name(const std::string& n) { return text(0x02, n, 20); }
    RecordImage& voltages(float vdd, float vddMax, float vddMin, float vpp) {
        return f32(0x16, vdd).f32(0x1A, vddMax).f32(0x1E, vddMin).f32(0x22, vpp);
    }
    RecordImage& vdd(float v) { return f32(0x16, v); }
    RecordImage& vpp(float v) { return f32(0x22, v); }
    RecordImage& lastAddress(std::uint32_t a) { return u32(0x26, a); }
    RecordImage& pulseWidth(std::uint16_t v) { return u16(0x2B, v); }
    RecordImage& eraseTime(std::uint16_t v) { return u16(0x2D, v); }
    RecordImage& firmwareParam1(std::uint8_t v) { return u8(0x2F, v); }
    // Unlisted entries are 0xC0: neither ground, Vcc nor Vpp.
    RecordImage& powerPins(std::initializer_list<std::uint8_t> pins) {
        std::size_t i = 0;
        for (; i < pins.size() && i < 12; ++i) u8(0x31 + i, pins.begin()[i]);
        for (; i < 12; ++i) u8(0x31 + i, 0xC0);
        return *this;
    }
    RecordImage& pinCount(std::int8_t n) { return u8(0x6A, std::uint8_t(n)); }
    RecordImage& makerId(std::uint8_t v) { return u8(0x6B, v); }
    RecordImage& deviceId(std::uint8_t v) { return u8(0x6C, v); }
    RecordImage& deviceId2(std::uint8_t v) { return u8(0x6D, v); }
    RecordImage& signature(std::uint8_t maker, std::uint8_t device) { return makerId(maker).deviceId(device); }
    RecordImage& pageCode(std::uint8_t v) { return u8(0x6E, v); }
    RecordImage& firmwareParam2(std::uint8_t v) { return u8(0x6F, v); }
    RecordImage& firmwareParam3(std::uint8_t v) { return u8(0x77, v); }
    RecordImage& blankByte(std::uint8_t v) { return u8(0x78, v); }
    RecordImage& programParam(std::uint8_t v) { return u8(0x79, v); }
    RecordImage& programParam16(std::uint16_t v) { return u16(0x79, v); }
    RecordImage& dataEepromSize(std::uint16_t v) { return u16(0x7A, v); }
    RecordImage& epromVoltage(float v) { return f32(0x7D, v); }
    RecordImage& configMaskCount(std::uint8_t n) { return u8(0x97, n); }
    // The first configuration masks; at most 16 fit.
    RecordImage& configMasks(const std::vector<std::uint8_t>& masks) {
        for (std::size_t i = 0; i < masks.size() && i < 16; ++i) u8(0x98 + i, masks[i]);
        return *this;
    }
    RecordImage& optionMask(std::uint8_t v) { return u8(0xBA, v); }
    RecordImage& buttons(std::uint16_t v) { return u16(0xBC, v); }
    RecordImage& stepMask(std::uint8_t v) { return u8(0xBE, v); }
    RecordImage& adapterCode(std::uint8_t v) { return u8(0xBF, v); }

    const std::array<std::uint8_t, kDeviceRecordSize>& bytes() const { return raw_; }
    DeviceRecord build() const { return DeviceRecord::fromImage(raw_.data()); }
    std::shared_ptr<const DeviceRecord> shared() const { return std::make_shared<const DeviceRecord>(build()); }

private:
    std::array<std::uint8_t, kDeviceRecordSize> raw_{};
};

// The fields most tests vary, for tables of cases (brace-initialised, in
// this order). Fields left out keep an erased-byte blank and zeros.
struct RecordSpec {
    char letter = 'R';
    std::uint32_t lastAddress = 0x7FF;
    std::int8_t algorithm = 0;
    std::uint8_t pageCode = 0;
    std::uint8_t blank = 0xFF;
    std::uint16_t dataEeprom = 0;
    std::uint8_t configCount = 0;
    std::uint8_t maker = 0, deviceId = 0;
    std::vector<std::uint8_t> masks = {};
    std::uint16_t pulseWidth = 0;
    std::uint8_t stepMask = 0;
    std::uint8_t optionMask = 0;
    std::uint16_t buttons = 0;
    std::string name = {};

    RecordImage image() const {
        return RecordImage(letter)
            .algorithm(algorithm)
            .name(name)
            .lastAddress(lastAddress)
            .pulseWidth(pulseWidth)
            .signature(maker, deviceId)
            .pageCode(pageCode)
            .blankByte(blank)
            .dataEepromSize(dataEeprom)
            .configMaskCount(configCount)
            .configMasks(masks)
            .optionMask(optionMask)
            .buttons(buttons)
            .stepMask(stepMask);
    }
    DeviceRecord record() const { return image().build(); }
};

}  // namespace tesmar::test
