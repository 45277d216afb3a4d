#pragma once
// Building device records byte by byte, as the family data files hold them.
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>

#include "devices/DeviceRecord.h"

namespace tesmar::test {

class RecordBuilder {
public:
    RecordBuilder(char family, std::int8_t algorithm = 0) {
        raw_[0x00] = std::uint8_t(algorithm);
        raw_[0x01] = std::uint8_t(family);
        std::memcpy(&raw_[0x02], "TEST", 4);
        pinCount(40);
    }
    RecordBuilder& voltages(float vdd, float vddMax, float vddMin, float vpp) {
        f32(0x16, vdd), f32(0x1A, vddMax), f32(0x1E, vddMin), f32(0x22, vpp);
        return *this;
    }
    RecordBuilder& lastAddress(std::uint32_t a) { return u32(0x26, a); }
    RecordBuilder& pulseWidth(std::uint16_t v) { return u16(0x2B, v); }
    RecordBuilder& eraseTime(std::uint16_t v) { return u16(0x2D, v); }
    RecordBuilder& firmwareParam1(std::uint8_t v) { raw_[0x2F] = v; return *this; }
    // Unlisted entries are 0xC0: neither ground, Vcc nor Vpp.
    RecordBuilder& powerPins(std::initializer_list<std::uint8_t> pins) {
        std::memset(&raw_[0x31], 0xC0, 12);
        std::size_t i = 0;
        for (std::uint8_t p : pins) raw_[0x31 + i++] = p;
        return *this;
    }
    RecordBuilder& pinCount(std::int8_t n) { raw_[0x6A] = std::uint8_t(n); return *this; }
    RecordBuilder& pageCode(std::uint8_t v) { raw_[0x6E] = v; return *this; }
    RecordBuilder& firmwareParam2(std::uint8_t v) { raw_[0x6F] = v; return *this; }
    RecordBuilder& firmwareParam3(std::uint8_t v) { raw_[0x77] = v; return *this; }
    RecordBuilder& programParam(std::uint8_t v) { raw_[0x79] = v; return *this; }
    RecordBuilder& programParam16(std::uint16_t v) { return u16(0x79, v); }
    RecordBuilder& dataEepromSize(std::uint16_t v) { return u16(0x7A, v); }
    RecordBuilder& epromVoltage(float v) { f32(0x7D, v); return *this; }

    DeviceRecord build() const { return DeviceRecord::fromImage(raw_); }
    std::shared_ptr<const DeviceRecord> shared() const { return std::make_shared<DeviceRecord>(build()); }

private:
    RecordBuilder& u16(std::size_t at, std::uint16_t v) {
        raw_[at] = std::uint8_t(v), raw_[at + 1] = std::uint8_t(v >> 8);
        return *this;
    }
    RecordBuilder& u32(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) raw_[at + i] = std::uint8_t(v >> (8 * i));
        return *this;
    }
    void f32(std::size_t at, float f) {
        std::uint32_t bits;
        std::memcpy(&bits, &f, 4);
        u32(at, bits);
    }

    std::uint8_t raw_[kDeviceRecordSize] = {};
};

}  // namespace tesmar::test
