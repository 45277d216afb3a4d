#pragma once
// Independent references of real parts, read from the tool chains of the
// field rather than from our own tables: the processor include files and
// linker scripts of gputils (Debian package gputils) for PICs, and the device
// headers of avr-libc as avr-gcc's preprocessor sees them (packages avr-libc,
// gcc-avr) for AVRs. A test holds a sample record or a configuration page
// against these; it never takes its expectation from the code under test.
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tesmar::test {

// ---- gputils ---------------------------------------------------------------

// The PIC18 configuration bytes in the order of the image and the pages
// (CONFIG1H first), as the headers' symbols end: "_OSCS_ON_1H".
extern const char* const kPic18ConfigByteNames[14];
// The configuration byte (0 CONFIG1H .. 13 CONFIG7L) whose suffix a PIC18
// symbol carries; -1 for none.
int pic18ConfigByte(const std::string& symbol);
// The hex numbers a text names: "0x000 to 0x3FF", "0000h to 03FFh write ...".
std::vector<std::uint32_t> hexNumbersIn(const std::string& text);

struct GputilsPart {
    // Every "NAME EQU H'...'" of /usr/share/gputils/header/p<part>.inc:
    // "_CP_OFF" -> 0x3FFF, "_CONFIG1H" -> 0x300001, "_OSCS_ON_1H" -> 0xDF.
    std::map<std::string, std::uint32_t> symbols;
    // The CODEPAGE lines of /usr/share/gputils/lkr/<part>_g.lkr.
    struct Page {
        std::string name;
        std::uint32_t start = 0, end = 0;
        bool isProtected = false;
    };
    std::vector<Page> pages;
    // The settings of the configuration words: symbol -> word (0 for the
    // only or first word, 1 for CONFIG2), from the "CONFIGn Options" sections.
    std::map<std::string, int> configWord;
    // The comment after a symbol ("0000h to 03FFh write protected, ...").
    std::map<std::string, std::string> comments;

    bool has(const std::string& symbol) const { return symbols.count(symbol) != 0; }
    // The symbol's value; a missing symbol fails the calling test and gives 0.
    std::uint32_t value(const std::string& symbol) const;
    // A setting as a test's table names it: "A|B" is the first of these the
    // header has (the headers of different generations name one setting
    // differently), "A & B" settings taken together. The symbols, or nothing
    // with the first term the header lacks in `missing`.
    std::optional<std::vector<std::string>> settingSymbols(const std::string& expr,
                                                           std::string* missing = nullptr) const;
    // The write-protect setting ("_WRT_...") whose comment names the range a
    // caption gives ("0000 - 07FF protected", "0x000 to 0x7FF"); "_WRT_OFF"
    // for a caption that says off; empty when none does.
    std::string writeProtectFor(const std::string& caption) const;
    // The code page of this name ("eedata", ".config", "idlocs"), if any.
    const Page* page(const std::string& name) const;
    // One past the last program-memory address of the unprotected code pages:
    // words for 12- and 14-bit parts, bytes for PIC18.
    std::uint32_t programEnd() const;
    // Bytes of data EEPROM (the "eedata" page), 0 without one.
    std::uint32_t eepromBytes() const;
    // The bits a configuration field occupies: every symbol starting with
    // `prefix` and ending with `suffix` (e.g. "_FOSC_", "" or "_FOSC_", "_1H")
    // is one setting of it; the field is the bits any setting clears, within
    // `width` (0x3FFF for a 14-bit word, 0xFF for a PIC18 byte).
    std::uint32_t fieldMask(const std::string& prefix, const std::string& suffix, std::uint32_t width) const;

    // PIC18: the settings of one configuration byte ("1H" .. "7L"), grouped
    // by field. "_WDTEN_ON_2H" is setting "ON" of field "WDTEN", the older
    // "_HS_OSC_1H" setting "HS" of field "OSC". A field's bits are those any
    // of its settings clears; a field of one setting cannot be changed.
    struct ConfigField {
        std::string name;
        std::uint8_t mask = 0;
        std::map<std::string, std::uint8_t> settings;  // setting -> byte value
        std::set<std::uint8_t> values() const;         // the distinct field values
    };
    std::vector<ConfigField> configFields(const std::string& byte) const;
    // The bits any setting of the byte names, and those a user can change
    // (fields of two or more distinct values).
    std::uint8_t configNamed(const std::string& byte) const;
    std::uint8_t configSettable(const std::string& byte) const;
    // Configuration words the header has settings for (1 or 2).
    int configWords() const;
    // The bits configuration word `word` implements: those its settings do
    // not all hold alike, within `width` (a bit every setting clears, like
    // the 16C74's bit 6, is not one).
    std::uint32_t implementedBits(int word, std::uint32_t width = 0x3FFF) const;
    // One past the last program word, the factory calibration word (a
    // protected ".oscval" page right after the code) included; 12- and 14-bit parts.
    std::uint32_t codeWords() const;
};

// True when gputils' headers are installed.
bool haveGputils();
// The part of a sample record's name ("16F716", "18LF25K50", "16F877A TQFP44"
// -> p16f877a.inc); nothing when gputils has no header for it. A test program
// reads each part once; later calls give a copy.
std::optional<GputilsPart> readGputilsPart(const std::string& deviceName);

// ---- avr-libc ----------------------------------------------------------------

struct AvrLibcPart {
    std::string mcu;  // avr-gcc's -mmcu name: "atmega48"
    // Every #define avr-gcc's preprocessor reports for <avr/io.h> and
    // <avr/lock.h>, name -> text.
    std::map<std::string, std::string> defines;
    int signature[3] = {-1, -1, -1};
    long flashEnd = -1;  // FLASHEND: the last byte of program memory
    long e2End = -1;     // E2END: the last data EEPROM byte (0 on parts without one)
    int fuseBytes = 0;   // FUSE_MEMORY_SIZE
    // FUSE_<name> bits ("CKSEL0", "WDTON"): byte 0 low, 1 high, 2 extended;
    // a fuse bit is programmed (0) to enable what it names.
    struct FuseBit {
        int byte = 0;
        int bit = 0;
    };
    std::map<std::string, FuseBit> fuses;
    bool lockBits = false, bootLock0 = false, bootLock1 = false;

    bool hasFuse(const std::string& name) const { return fuses.count(name) != 0; }
    // A define that is a number ("(0xFE)", "0x1FFF"), such as the lock-bit
    // modes of <avr/lock.h> ("LB_MODE_2", "BLB0_MODE_3", "LOCKBITS_DEFAULT");
    // a missing or other define fails the calling test and gives -1.
    long number(const std::string& name) const;
    // The fuse bit of this name; a missing one fails the calling test.
    FuseBit fuse(const std::string& name) const;
    // Bytes of data EEPROM: E2END + 1, 0 when the part has none.
    long eepromBytes() const;
    // The fuse bytes as the part leaves the factory (LFUSE_DEFAULT,
    // HFUSE_DEFAULT, EFUSE_DEFAULT, or FUSE_DEFAULT of a one-byte part);
    // 0xFF for a byte the header gives no default.
    std::array<std::uint8_t, 3> defaultFuses() const;
};

// True when avr-gcc and avr-libc are installed.
bool haveAvrLibc();
// The part of a sample record's name ("ATmega48/V" -> atmega48); nothing
// when avr-gcc does not know it. A test program runs avr-gcc once per part;
// later calls give a copy.
std::optional<AvrLibcPart> readAvrLibcPart(const std::string& deviceName);

// The avr-libc fuse a configuration box's caption names, and whether the box
// is checked when that fuse is programmed (0). The pages' convention: a
// caption that is the fuse's name ("EESAVE") or says what the programmed
// fuse does ("SPI Enabled", "WDT always on") is checked when it is
// programmed; a box captioned "NAME = value" ("CKSEL0 = 1", "BODLEVEL =
// 2.7V") is checked when the bit is 1. Nothing for a caption that names no fuse.
struct CaptionFuse {
    std::string fuse;
    bool checkedWhenProgrammed = true;
};
std::optional<CaptionFuse> avrFuseOfCaption(const std::string& caption);

}  // namespace tesmar::test
