// The references the sample data is held against are installed and read as
// their tool chains define them (the values below are the parts' data sheet
// values), so a header-driven check cannot pass by finding nothing.
#include <gtest/gtest.h>

#include "support/PartHeaders.h"

using namespace tesmar::test;

TEST(ReferenceHeaders, GputilsAndAvrLibcAreReadAsTheirToolsDefineThem) {
    ASSERT_TRUE(haveGputils()) << "install gputils (scripts/install-deps)";
    ASSERT_TRUE(haveAvrLibc()) << "install avr-libc and gcc-avr (scripts/install-deps)";

    const auto pic = readGputilsPart("16F877A TQFP44");
    ASSERT_TRUE(pic);
    EXPECT_EQ(pic->value("_CP_OFF"), 0x3FFFu);
    EXPECT_EQ(pic->fieldMask("_FOSC_", "", 0x3FFF), 0x0003u);
    EXPECT_EQ(pic->programEnd(), 0x2000u);
    EXPECT_EQ(pic->eepromBytes(), 256u);
    EXPECT_EQ(hexNumbersIn(pic->comments.at("_WRT_256")), (std::vector<std::uint32_t>{0x0000, 0x00FF, 0x0100, 0x1FFF}));
    EXPECT_EQ(pic->writeProtectFor("0000 - 07FF protected"), "_WRT_1FOURTH");
    EXPECT_EQ(pic->settingSymbols("_OSC_LP|_FOSC_LP & _CP_ALL|_CP_OFF").value_or(std::vector<std::string>{}),
              (std::vector<std::string>{"_FOSC_LP", "_CP_ALL"}));
    std::string missing;
    EXPECT_FALSE(pic->settingSymbols("_CP_OFF & _NO_SUCH|_NOR_THIS", &missing));
    EXPECT_EQ(missing, "_NO_SUCH|_NOR_THIS");
    // Configuration words: the bits some setting clears and another sets.
    const auto c74 = readGputilsPart("16C74"), f88 = readGputilsPart("16F88"), f629 = readGputilsPart("12F629");
    ASSERT_TRUE(c74 && f88 && f629);
    EXPECT_EQ(c74->implementedBits(0), 0x003Fu);  // bit 6 is held at 0 by every setting
    EXPECT_EQ(f88->configWords(), 2);
    EXPECT_EQ(f88->implementedBits(1), 0x0003u);  // CONFIG2: IESO, FCMEN
    EXPECT_EQ(f88->configWord.at("_FCMEN_OFF"), 1);
    EXPECT_EQ(f629->codeWords(), 0x400u);  // the calibration word at 0x3FF included
    const auto pic18 = readGputilsPart("18F452");
    ASSERT_TRUE(pic18);
    EXPECT_EQ(pic18->value("_CONFIG1H"), 0x300001u);
    EXPECT_EQ(pic18->fieldMask("_OSCS_", "_1H", 0xFF), 0x20u);
    EXPECT_EQ(pic18->programEnd(), 0x8000u);
    EXPECT_FALSE(readGputilsPart("NoSuchPart"));

    const auto avr = readAvrLibcPart("ATmega328");
    ASSERT_TRUE(avr);
    EXPECT_EQ(avr->signature[1], 0x95);
    EXPECT_EQ(avr->signature[2], 0x14);  // the 328P is 0x0F
    EXPECT_EQ(avr->flashEnd, 0x7FFF);
    EXPECT_EQ(avr->eepromBytes(), 1024);
    EXPECT_EQ(avr->fuse("EESAVE").byte, 1);
    EXPECT_EQ(avr->fuse("EESAVE").bit, 3);
    EXPECT_EQ(avr->fuse("BODLEVEL2").byte, 2);
    const auto tiny = readAvrLibcPart("ATmega48/V");
    ASSERT_TRUE(tiny);
    EXPECT_EQ(tiny->signature[2], 0x05);
    EXPECT_FALSE(readAvrLibcPart("NoSuchPart"));
}
