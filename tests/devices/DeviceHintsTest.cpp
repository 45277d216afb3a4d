#include <gtest/gtest.h>

#include "devices/DeviceHints.h"
#include "support/RecordImage.h"

using namespace tesmar;
using test::RecordImage;

TEST(DeviceHints, AdapterTableAndCommentOverrides) {
    struct Case {
        const char* name;
        DeviceRecord rec;
        const char* adapter;
        const char* comment;
        bool capacitor;
    } cases[] = {
        {"NoAdapter", RecordImage('R').adapterCode(0).build(), "", "", false},
        {"UnlistedCode", RecordImage('R').adapterCode(17).build(), "", "", false},
        {"AdapterLabel", RecordImage('R').adapterCode(3).build(), "PLCC32 -> DIP28", "", false},
        {"CommentLabel", RecordImage('R').adapterCode(9).build(), "", "100R from ZIF pin1 - pin15", false},
        {"PicEeprom", RecordImage('C').adapterCode(60).dataEepromSize(127).build(), "QFP44",
         "E2prom @ 0x4200  size = 128 bytes", false},
        {"EnhancedPicEeprom", RecordImage('C').pageCode(47).dataEepromSize(255).build(), "",
         "E2prom @ 0x10200  size = 256 bytes", false},
        {"Pic18Eeprom", RecordImage('C').algorithm(18).dataEepromSize(255).build(), "",
         "E2prom @ 0xF0200  size = 256 bytes", false},
        {"McuEeprom", RecordImage('M').lastAddress(0x1FFF).dataEepromSize(64).build(), "",
         "E2prom @ 0x02000  size = 64 bytes", false},
        {"McuUserRow", RecordImage('M').algorithm(35).lastAddress(0x7FFF).dataEepromSize(32).build(), "",
         "User Row @ 0x08000  size = 32 bytes", false},
        {"TwoBlocks", RecordImage('M').signature(0xBF, 0x91).adapterCode(2).build(), "PLCC44",
         "Block0 @ 0 - 0xFFFF , Block1 @ 0x10000 - 0x11FFF", false},
        {"Capacitor", RecordImage('E').pageCode(240).build(), "",
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
    const DeviceLabels eprom =
        deviceLabels(RecordImage('R').signature(0x1C, 0x8C).lastAddress(0x7FFF).vdd(5.0f).vpp(12.5f).build());
    EXPECT_EQ(eprom.manId, "0x1C");
    EXPECT_EQ(eprom.devId, "0x8C");
    EXPECT_EQ(eprom.devId2, "");
    EXPECT_EQ(eprom.size, "0x8000");
    EXPECT_EQ(eprom.vcc, " 5.00V");
    EXPECT_EQ(eprom.vpp, "12.50V");

    // A flash part shows no Vpp; a PIC shows its IDs even without a maker byte.
    const DeviceLabels flash = deviceLabels(RecordImage('F').vpp(12.0f).build());
    EXPECT_EQ(flash.vpp, "");
    EXPECT_EQ(flash.manId, "");
    const DeviceLabels pic = deviceLabels(RecordImage('C').deviceId(0x0F).deviceId2(0xA0).build());
    EXPECT_EQ(pic.manId, "");
    EXPECT_EQ(pic.devId, "0x0F");
    EXPECT_EQ(pic.devId2, "0xA0");
    EXPECT_EQ(pic.vpp, "");
}
