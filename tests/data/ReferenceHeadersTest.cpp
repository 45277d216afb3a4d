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
