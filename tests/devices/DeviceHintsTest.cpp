#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "devices/DeviceHints.h"

using namespace tesmar;

namespace {

DeviceRecord makeRecord(char letter, std::function<void(std::array<std::uint8_t, kDeviceRecordSize>&)> edit) {
    std::array<std::uint8_t, kDeviceRecordSize> raw{};
    raw[1] = std::uint8_t(letter);
    edit(raw);
    return DeviceRecord::fromImage(raw.data());
}

void setU32(std::array<std::uint8_t, kDeviceRecordSize>& r, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) r[at + i] = std::uint8_t(v >> (8 * i));
}

void setFloat(std::array<std::uint8_t, kDeviceRecordSize>& r, std::size_t at, float f) {
    std::uint32_t v;
    std::memcpy(&v, &f, 4);
    setU32(r, at, v);
}

}  // namespace

TEST(DeviceHints, AdapterTableAndCommentOverrides) {
    struct Case {
        const char* name;
        DeviceRecord rec;
        const char* adapter;
        const char* comment;
        bool capacitor;
    } cases[] = {
        {"NoAdapter", makeRecord('R', [](auto& r) { r[0xBF] = 0; }), "", "", false},
        {"UnlistedCode", makeRecord('R', [](auto& r) { r[0xBF] = 17; }), "", "", false},
        {"AdapterLabel", makeRecord('R', [](auto& r) { r[0xBF] = 3; }), "PLCC32 -> DIP28", "", false},
        {"CommentLabel", makeRecord('R', [](auto& r) { r[0xBF] = 9; }), "", "100R from ZIF pin1 - pin15", false},
        {"PicEeprom", makeRecord('C', [](auto& r) { r[0xBF] = 60; r[0x7A] = 127; }), "QFP44",
         "E2prom @ 0x4200  size = 128 bytes", false},
        {"EnhancedPicEeprom", makeRecord('C', [](auto& r) { r[0x6E] = 47; r[0x7A] = 255; }), "",
         "E2prom @ 0x10200  size = 256 bytes", false},
        {"Pic18Eeprom", makeRecord('C', [](auto& r) { r[0] = 18; r[0x7A] = 255; }), "",
         "E2prom @ 0xF0200  size = 256 bytes", false},
        {"McuEeprom", makeRecord('M', [](auto& r) { setU32(r, 0x26, 0x1FFF); r[0x7A] = 64; }), "",
         "E2prom @ 0x02000  size = 64 bytes", false},
        {"McuUserRow", makeRecord('M', [](auto& r) { r[0] = 35; setU32(r, 0x26, 0x7FFF); r[0x7A] = 32; }), "",
         "User Row @ 0x08000  size = 32 bytes", false},
        {"TwoBlocks", makeRecord('M', [](auto& r) { r[0x6B] = 0xBF; r[0x6C] = 0x91; r[0xBF] = 2; }), "PLCC44",
         "Block0 @ 0 - 0xFFFF , Block1 @ 0x10000 - 0x11FFF", false},
        {"Capacitor", makeRecord('E', [](auto& r) { r[0x6E] = 240; }), "",
         "Capacitor(100nF) needed between Pin 1 and Pin 14", true},
    };
    for (const Case& c : cases) {
        const DeviceHints h = ShowDeviceHints(c.rec);
        EXPECT_EQ(h.adapter, c.adapter) << c.name;
        EXPECT_EQ(h.comment, c.comment) << c.name;
        EXPECT_EQ(h.capacitorWarning, c.capacitor) << c.name;
    }
}

TEST(DeviceHints, ValueLabels) {
    const DeviceLabels eprom = deviceLabels(makeRecord('R', [](auto& r) {
        r[0x6B] = 0x1C;
        r[0x6C] = 0x8C;
        setU32(r, 0x26, 0x7FFF);
        setFloat(r, 0x16, 5.0f);
        setFloat(r, 0x22, 12.5f);
    }));
    EXPECT_EQ(eprom.manId, "0x1C");
    EXPECT_EQ(eprom.devId, "0x8C");
    EXPECT_EQ(eprom.devId2, "");
    EXPECT_EQ(eprom.size, "0x8000");
    EXPECT_EQ(eprom.vcc, " 5.00V");
    EXPECT_EQ(eprom.vpp, "12.50V");

    // A flash part shows no Vpp; a PIC shows its IDs even without a maker byte.
    const DeviceLabels flash = deviceLabels(makeRecord('F', [](auto& r) { setFloat(r, 0x22, 12.0f); }));
    EXPECT_EQ(flash.vpp, "");
    EXPECT_EQ(flash.manId, "");
    const DeviceLabels pic = deviceLabels(makeRecord('C', [](auto& r) { r[0x6C] = 0x0F; r[0x6D] = 0xA0; }));
    EXPECT_EQ(pic.manId, "");
    EXPECT_EQ(pic.devId, "0x0F");
    EXPECT_EQ(pic.devId2, "0xA0");
    EXPECT_EQ(pic.vpp, "");
}
