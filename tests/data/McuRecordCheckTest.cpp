// Rules the microcontroller records keep so that the routine their algorithm
// picks, the configuration page of their chip code and the way the part
// reports its lock bits agree: a page only edits what its algorithm sends,
// and the fuse read decodes every 8051 part's lock bits in exactly one way.
// The AVR records are held against avr-libc (AvrHeaderCheckTest.cpp).
#include <gtest/gtest.h>

#include <set>

#include "devices/DeviceDataFile.h"
#include "support/RecordImage.h"
#include "support/TestSupport.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

// The pages each algorithm's fuse, lock and security writes serve.
bool pageFitsAlgorithm(int alg, int page) {
    switch (alg) {
    case 32: return std::set<int>{200, 201, 203, 204, 205, 207, 209, 210, 211}.count(page) > 0;
    case 30: return page == 202;
    case 26: return page == 0 || page == 208;
    case 28: return page == 0 || page == 206;
    case 34: return page == 0 || page == 206 || page == 212;
    default: return page == 0;  // 14, 25, 29, 33, 35 write no fuse byte a page could edit
    }
}

bool isAvr(const DeviceRecord& r) { return r.Algorithm == 30 || r.Algorithm == 32; }

// The lock-bit layouts a Read takes from an 8051 part, by signature byte 1
// and algorithm: (0x51, 0x52, 0x55) bits 2-4 with 1 programmed; (0x53,
// 0x72) bits 2, 1, 0 with 0 programmed; 0x73 and algorithm 34 bits 0-2
// with 0 programmed; algorithm 26 has security bits instead.
std::vector<std::string> lockEncodings(const DeviceRecord& r) {
    std::vector<std::string> e;
    const int id = r.DeviceId;
    if (id == 0x51 || id == 0x52 || id == 0x55) e.push_back("bits 2-4, set programmed");
    if (id == 0x53 || id == 0x72) e.push_back("bits 2-0, set unprogrammed");
    if (id == 0x73 || r.Algorithm == 34) e.push_back("bits 0-2, set unprogrammed");
    if (r.Algorithm == 26) e.push_back("security bits");
    return e;
}

std::vector<std::string> mcuRecordFaults(const DeviceRecord& r) {
    std::vector<std::string> out;
    const int alg = r.Algorithm;
    const bool avr = isAvr(r);
    if (!pageFitsAlgorithm(alg, r.PageCode))
        out.push_back("page " + std::to_string(r.PageCode) + " with algorithm " + std::to_string(alg));
    if (avr) {
        // Lock bits go with the fuses at the end of a Program, never in a step of their own.
        if (((r.StepMask >> 1) & 7) != 0) out.push_back("lock steps the part does not have");
        return out;
    }
    const auto enc = lockEncodings(r);
    if (enc.size() > 1) out.push_back("lock bits read as " + enc[0] + " and as " + enc[1]);
    if (!enc.empty() && enc[0].rfind("bits 2-", 0) == 0 && alg != 28 && alg != 29 && alg != 33)
        out.push_back("a three-lock-bit signature on algorithm " + std::to_string(alg));
    if (r.DeviceId == 0x73 && alg != 28 && alg != 34) out.push_back("fuse byte read from a part without one");
    // Lock steps: two lock bits on algorithm 34, one fuse step on 35.
    const int lockSteps = (r.StepMask >> 1) & 7;
    if ((alg == 34 && lockSteps > 3) || (alg == 35 && lockSteps > 1)) out.push_back("lock steps the part does not have");
    const std::size_t data = alg == 28 ? 2048 : alg == 35 ? 32 : 0;
    if (r.DataEepromSize != data) out.push_back("data area of " + std::to_string(r.DataEepromSize) + " bytes");
    if (alg == 26 && (r.Buttons >> BtnErase) & 1) out.push_back("an EPROM part with an erase");
    return out;
}

std::vector<DeviceRecord> sampleMcuRecords() {
    std::vector<DeviceRecord> out;
    DeviceDataFile file;
    if (!file.open((runDir() + "/zrvusb_m.usb").toStdString())) return out;
    for (int m = 0; m < file.manufacturerCount(); ++m)
        for (int d = 0;; ++d) {
            const auto rec = file.record(m, d);
            if (!rec) break;
            if (rec->FamilyLetter == 'M') out.push_back(*rec);
        }
    return out;
}

RecordImage mcu(std::int8_t alg, std::uint8_t page, std::uint8_t id, std::uint16_t data, std::uint8_t steps) {
    constexpr std::uint16_t kWithErase = 0x5FF;
    return RecordImage('M').algorithm(alg).pageCode(page).signature(0x1E, id).dataEepromSize(data).stepMask(steps)
        .buttons(kWithErase);
}

}  // namespace

TEST(McuRecords, PageAlgorithmAndLockEncodingAgree) {
    const auto records = sampleMcuRecords();
    ASSERT_GT(records.size(), 30u);
    for (const DeviceRecord& r : records) {
        EXPECT_EQ(mcuRecordFaults(r), std::vector<std::string>{}) << r.Name;
    }
}

TEST(McuRecords, DisagreeingRecordsAreCaught) {
    struct Case {
        const char* what;
        DeviceRecord rec;
        bool faulty;
    };
    const Case cases[] = {
        {"AVR on its page", mcu(32, 205, 0x93, 512, 0x41).build(), false},
        {"two-lock-bit 8051 on page 212", mcu(34, 212, 0x23, 0, 0x43).build(), false},
        {"three lock bits read the 0x52 way", mcu(33, 0, 0x52, 0, 0x4F).build(), false},
        {"0x52 part on algorithm 34", mcu(34, 0, 0x52, 0, 0x43).build(), true},
        {"0x72 part on algorithm 34", mcu(34, 0, 0x72, 0, 0x43).build(), true},
        {"0x73 part without a fuse byte", mcu(29, 0, 0x73, 0, 0x4F).build(), true},
        {"algorithm 32 on the AT90S page", mcu(32, 202, 0x91, 128, 0x41).build(), true},
        {"algorithm 30 on a mega page", mcu(30, 205, 0x93, 512, 0x41).build(), true},
        {"page 212 lock bits on a security-bit part", mcu(26, 212, 0x87, 0, 0x01).build(), true},
        {"protect-mode part with a fuse page", mcu(29, 204, 0x41, 0, 0x4F).build(), true},
        {"three lock steps on algorithm 34", mcu(34, 212, 0x23, 0, 0x4F).build(), true},
        {"lock steps on an AVR", mcu(32, 204, 0x93, 512, 0x43).build(), true},
        {"algorithm 28 without its 2 KiB", mcu(28, 0, 0x72, 512, 0x4F).build(), true},
        {"user row of the wrong size", mcu(35, 0, 0x4C, 64, 0x43).build(), true},
        {"EPROM part that erases", mcu(26, 208, 0xE0, 0, 0x01).build(), true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(!mcuRecordFaults(c.rec).empty(), c.faulty) << c.what;
    }
}

// Every branch the microcontroller routines and pages take on a record's
// signature, chip code or name has a sample part.
TEST(McuRecords, CoverEveryBranchOnSignatureChipCodeAndName) {
    std::set<std::string> have;
    for (const DeviceRecord& r : sampleMcuRecords()) {
        const int alg = r.Algorithm, page = r.PageCode, id = r.DeviceId, id2 = r.DeviceId2;
        for (const auto& e : lockEncodings(r)) have.insert("locks " + e);
        have.insert("alg " + std::to_string(alg) + " page " + std::to_string(page));
        if (page == 208 && (id == 0xE0 || id == 0x62)) have.insert("page 208 id " + std::to_string(id));
        if (page == 202 && ((id == 0x90 && id2 == 0x01) || (id == 0x91 && id2 == 0x03)))
            have.insert("RCEN " + std::to_string(id));
        if (page == 204 && id == 0x94 && (id2 == 0x03 || id2 == 0x06)) have.insert("JTAGEN");
        if (page == 204 && id != 0x94 && id2 != 0x03) have.insert("calibration stored");
        if (r.Name == "ATmega8535" || r.Name == "ATmega48/V" || r.Name == "ATtiny861") have.insert(r.Name);
        if (alg == 32 && r.LastAddress + 1 > 0x6000) have.insert("AVR code in several blocks");
        if (alg == 32 && r.DataEepromSize == 0) have.insert("AVR without EEPROM");
        if (r.MakerId == 0x1E && ((id == 0x52 && id2 == 0x06) || (id == 0x55 && id2 == 0x06) ||
                                  (id == 0x51 && id2 == 0x07) || id == 0x72 || id == 0x73 || id == 0x53))
            have.insert("fuse read after Read " + std::to_string(id));
    }
    std::vector<std::string> want{"locks bits 2-4, set programmed", "locks bits 2-0, set unprogrammed",
                                  "locks bits 0-2, set unprogrammed", "locks security bits",
                                  "alg 34 page 206", "alg 28 page 206", "alg 34 page 212", "alg 35 page 0",
                                  "alg 26 page 208", "alg 26 page 0", "alg 32 page 205", "alg 32 page 210",
                                  "page 208 id 224", "page 208 id 98", "RCEN 144", "RCEN 145", "JTAGEN",
                                  "calibration stored", "ATmega8535", "ATmega48/V", "ATtiny861",
                                  "AVR code in several blocks", "AVR without EEPROM"};
    for (int id : {0x51, 0x52, 0x53, 0x55, 0x72, 0x73}) want.push_back("fuse read after Read " + std::to_string(id));
    for (const auto& w : want) EXPECT_TRUE(have.count(w)) << "no sample part for: " << w;
}
