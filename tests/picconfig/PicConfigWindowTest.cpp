// The PIC dialog through the main window's Config button, what it sets
// reaching the simulated chip with the next Program, and files gpasm made
// coming back through Load, Program, Read and Save.
#include <QCheckBox>
#include <QTemporaryDir>

#include "families/Pic18.h"
#include "fileformats/FormatFixture.h"
#include "picconfig/PicWindowRig.h"
#include "support/Bytes.h"
#include "support/PartHeaders.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

class PicConfigWindowTest : public PicWindowRig {};

TEST_F(PicConfigWindowTest, Pic18SettingsAndIdsTypedInTheDialogAreProgrammed) {
    selectNamed("18F452");
    const Bytes typed{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    configure([&typed](TfrmPicConfig& d) {
        ASSERT_EQ(d.visibleSheets().size(), 3u);
        EXPECT_EQ(d.PageControl->tabText(d.PageControl->currentIndex()), "18F452");
        tickBox(d.control<RadioGroup>("RG27_Osc")->button(2));  // "HS"
        auto* boren = d.control<QCheckBox>("CB27_Boren");
        if (!boren->isChecked()) tickBox(boren);
        tickBox(d.control<RadioGroup>("RG27_Bor")->button(2));  // "2.7V"
        d.PageControl->setCurrentWidget(d.sheet(config::PicSheet::Page27B));
        tickBox(d.control<QCheckBox>("CB27_Cp200"));  // "0200 - 1FFF protected"
        d.PageControl->setCurrentWidget(d.sheet(config::PicSheet::Page27));
        for (std::size_t n = 0; n < typed.size(); ++n) {
            QLineEdit* id = d.pic18Edits[n];
            id->selectAll();
            QTest::keyClicks(id, QString::asprintf("%02X", typed[n]));
        }
    });

    clearLogs();
    w().SB_Prog->click();
    const QStringList lines = w().memoLines();
    EXPECT_TRUE(lines.contains(" Programmed")) << lines.join('\n').toStdString();
    const auto cfg = chip18().config();
    EXPECT_EQ(cfg[0] & 0x07, 0x02) << "CONFIG1H oscillator HS";
    EXPECT_EQ(cfg[3] & 0x0E, 0x0A) << "CONFIG2L brown-out on at 2.7V";
    EXPECT_EQ(cfg[9] & 0x01, 0x00) << "CONFIG5L CP0";
    const Pic18Mask mask = pic18MaskFor(27);
    for (std::size_t k = 0; k < 14; ++k)
        EXPECT_EQ(cfg[k], st().buf.DeviceBuffer[0xF0010 + k] & mask[k]) << "CONFIG byte " << k;
    EXPECT_EQ(chip18().ids(), typed);

    // Read back into a cleared image: the dialog shows the same choices.
    std::fill_n(st().buf.DeviceBuffer.begin() + 0xF0000, 0x1E, 0x00);
    clearLogs();
    w().SB_Read->click();
    EXPECT_TRUE(w().memoLines().contains(" Read Completed")) << w().memoLines().join('\n').toStdString();
    configure([&typed](TfrmPicConfig& d) {
        EXPECT_EQ(d.control<RadioGroup>("RG27_Osc")->itemIndex(), 2);
        EXPECT_TRUE(d.control<QCheckBox>("CB27_Boren")->isChecked());
        EXPECT_EQ(d.control<RadioGroup>("RG27_Bor")->itemIndex(), 2);
        EXPECT_TRUE(d.control<QCheckBox>("CB27_Cp200")->isChecked());
        EXPECT_FALSE(d.control<QCheckBox>("CB27_Cp2000")->isChecked());
        for (std::size_t n = 0; n < typed.size(); ++n)
            EXPECT_EQ(d.pic18Edits[n]->text(), QString::asprintf("%02X", typed[n]));
    });
}

TEST_F(PicConfigWindowTest, ConfigButtonOpensThePicDialogAndTheChecksumFollows) {
    selectNamed("16LF1823");  // page code 46: the checksum takes both configuration words
    const QString before = w().CheckL->text();
    configure([](TfrmPicConfig& d) {
        EXPECT_EQ(d.visibleSheets(), (std::vector<config::PicSheet>{config::PicSheet::Page46, config::PicSheet::Page46A}));
        d.idEdits[0]->selectAll();
        QTest::keyClicks(d.idEdits[0], "5");
    });
    EXPECT_EQ(st().buf.DeviceBuffer[0x10001], 0x85);
    EXPECT_NE(w().CheckL->text(), before);
}

// Parts of three more page sets: what the widgets set reaches the chip as
// the pages' bits, the chip's implemented bits are the buffer's, ID n is the
// chip's ID n, and a read into a cleared image reopens the same choices.
TEST_F(PicConfigWindowTest, PageSetsReachTheChipAndReadBack) {
    struct Set { const char* control; int state; };
    struct Bits { int k; std::uint8_t mask, want; };
    struct Part { const char* name; std::vector<Set> sets; std::vector<Bits> bits; Bytes ids; };
    const Part parts[] = {
        {"18F4550",
         {{"RG36_Osc", 11}, {"RG36_Osd", 4}, {"RG36_Clkdiv", 1}, {"CB36_Pll", 0}, {"RG36_Bor", 2}, {"RG36_Bov", 1},
          {"CB36_Wdt", 0}, {"CB36_Cp1", 1}, {"CB36_Wrtb", 1}, {"CB36_Trb", 1}},
         {{0, 0x0E, 0x0E}, {1, 0x3F, 0x0C}, {3, 0x1E, 0x0C}, {2, 0x01, 0x00}, {9, 0x0F, 0x0D}, {10, 0x40, 0x00},
          {12, 0x40, 0x00}},
         {0xA0, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x07}},
        {"18LF25K50",
         {{"RG38_Osc", 3}, {"RG38_CPUDIV", 3}, {"RG38_BORV", 1}, {"RG38_BOREN", 1}, {"RG38_WDTEN", 2},
          {"RG38_WDTPS", 5}, {"CB38_MCLRE", 0}, {"CB38_CP0", 1}, {"CB38_EBTRB", 1}},
         {{0, 0x0F, 0x03}, {1, 0x18, 0x18}, {3, 0x1E, 0x0A}, {2, 0x3F, 0x16}, {4, 0x80, 0x00}, {9, 0x0F, 0x0E},
          {12, 0x40, 0x00}},
         {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}},
        {"16F1827",
         {{"RG46_Osc", 4}, {"RG46_Borbits", 1}, {"CB46_Pwrt", 0}, {"CB46_Lvp", 0}, {"RG46_BorVolts", 1},
          {"RG46_Wdt", 2}, {"RG46_Mwp", 1}, {"RG46_Cp", 0}},
         {{0, 0x06, 0x02}, {1, 0x9F, 0x14}, {2, 0x24, 0x04}, {3, 0x03, 0x01}},
         {0x12, 0x34, 0x56, 0x78}},
    };
    for (const Part& p : parts) {
        SCOPED_TRACE(p.name);
        selectNamed(p.name);
        const DeviceRecord& r = *st().dev();
        std::map<std::string, int> set;
        configure([&](TfrmPicConfig& d) {
            for (const Set& s : p.sets) {
                QWidget* w = d.control<QWidget>(s.control);
                ASSERT_NE(w, nullptr) << s.control;
                for (config::PicSheet sh : d.visibleSheets())
                    if (d.sheet(sh)->isAncestorOf(w)) d.PageControl->setCurrentWidget(d.sheet(sh));
                if (auto* box = qobject_cast<QCheckBox*>(w)) {
                    if (box->isChecked() != (s.state != 0)) tickBox(box);
                } else {
                    tickBox(static_cast<RadioGroup*>(w)->button(s.state));
                }
            }
            d.PageControl->setCurrentIndex(int(d.visibleSheets().front()));
            for (std::size_t n = 0; n < p.ids.size(); ++n) {
                QLineEdit* id = r.isPic18() ? d.pic18Edits[n] : d.idEdits[n];
                id->selectAll();
                QTest::keyClicks(id, QString::asprintf("%02X", p.ids[n]));
            }
            set = shownStates(d);
        });
        for (const Set& s : p.sets) EXPECT_EQ(set.count(s.control) ? set.at(s.control) : -2, s.state) << s.control;
        clearLogs();
        w().SB_Prog->click();
        EXPECT_TRUE(w().memoLines().contains(r.isPic18() ? " Programmed" : " CONFIG Programmed"))
            << w().memoLines().join('\n').toStdString();
        const std::size_t place = r.isPic18() ? 0xF0010 : 0x1000E;
        std::vector<std::uint8_t> mask(r.ConfigMasks.begin(), r.ConfigMasks.begin() + r.ConfigMaskCount);
        if (r.isPic18()) {
            const Pic18Mask m = pic18MaskFor(r.PageCode);
            mask.assign(m.begin(), m.end());
        }
        std::vector<std::uint8_t> cfg;
        if (r.isPic18()) {
            cfg.assign(chip18().config().begin(), chip18().config().end());
            for (std::size_t n = 0; n < 8; ++n) EXPECT_EQ(chip18().idLocation(n), p.ids[n]) << "IDLOC" << n;
        } else {
            cfg = chip16().config();
            for (std::size_t n = 0; n < 4; ++n) EXPECT_EQ(chip16().idWord(n) & 0x7F, p.ids[n]) << "ID" << n;
        }
        ASSERT_EQ(cfg.size(), mask.size());
        for (std::size_t k = 0; k < mask.size(); ++k)
            EXPECT_EQ(cfg[k] & mask[k], st().buf.DeviceBuffer[place + k] & mask[k]) << "configuration byte " << k;
        for (const Bits& b : p.bits) EXPECT_EQ(cfg[std::size_t(b.k)] & b.mask, b.want) << "configuration byte " << b.k;

        const std::size_t idPlace = r.isPic18() ? 0xF0000 : 0x10000;
        std::fill(st().buf.DeviceBuffer.begin() + std::ptrdiff_t(idPlace),
                  st().buf.DeviceBuffer.begin() + std::ptrdiff_t(place + mask.size()), 0x00);
        clearLogs();
        w().SB_Read->click();
        EXPECT_TRUE(w().memoLines().contains(" Read Completed")) << w().memoLines().join('\n').toStdString();
        std::map<std::string, int> reread;
        configure([&](TfrmPicConfig& d) { reread = shownStates(d); });
        EXPECT_EQ(reread, set);
    }
}

// Files gpasm assembles for parts of the classic and the PIC18 page sets,
// through the program as a technician uses it: Load, the configuration dialog
// opened and closed with OK, Program, Verify, Read into a cleared image, Save
// in the file's format. The part holds gpasm's configuration over the bits
// the part lets a user set, and its IDs; the saved file holds every byte gpasm
// wrote, its configuration over those bits. srec_cat reads the files.
TEST_F(PicConfigWindowTest, GpasmFilesComeBackAsTheyWereAssembled) {
    ASSERT_TRUE(haveGputils()) << "install gputils (scripts/install-deps)";
    struct Trip {
        const char* part;
        const char* config;  // the configuration directives, one a line
        const char* format;  // gpasm's output; INHX32 is loaded and saved as INHX8M
    };
    const Trip trips[] = {
        {"16F877A", "__config _FOSC_HS & _WDTE_OFF & _PWRTE_ON & _BOREN_OFF & _LVP_OFF & _WRT_256 & _CP_OFF", "inhx8m"},
        {"16F84A", "__config _FOSC_XT & _WDTE_OFF & _PWRTE_ON & _CP_OFF", "inhx8m"},
        {"16F84A", "__config _FOSC_EXTRC & _WDTE_ON & _PWRTE_OFF & _CP_OFF", "inhx16"},
        {"12F675", "__config _FOSC_INTRCIO & _WDTE_OFF & _PWRTE_ON & _MCLRE_OFF & _BOREN_OFF & _CP_OFF & _CPD_OFF",
         "inhx8m"},
        {"16C715", "__config _FOSC_RC & _WDTE_OFF & _PWRTE_ON & _BOREN_ON & _MPEEN_OFF & _CP_OFF", "inhx8m"},
        {"16F882",
         "__config _CONFIG1, _FOSC_INTRC_NOCLKOUT & _WDTE_OFF & _LVP_OFF & _CP_OFF\n"
         "__config _CONFIG2, _WRT_1FOURTH & _BOR4V_BOR21V",
         "inhx8m"},
        {"12F508", "__config _IntRC_OSC & _WDT_OFF & _CP_OFF & _MCLRE_OFF", "inhx16"},
        {"16F1827",
         "__config _CONFIG1, _FOSC_INTOSC & _WDTE_OFF & _MCLRE_OFF & _CP_OFF\n"
         "__config _CONFIG2, _WRT_HALF & _PLLEN_OFF & _LVP_OFF",
         "inhx32"},
        {"18F452",
         "CONFIG OSC = HS, OSCS = ON, PWRT = ON, BOR = OFF, BORV = 27, WDT = OFF, WDTPS = 32\n"
         "CONFIG CCP2MUX = OFF, STVR = OFF, LVP = OFF, DEBUG = OFF\n"
         "CONFIG CP0 = OFF, CP1 = OFF, CP2 = OFF, CP3 = OFF, CPB = OFF, CPD = OFF\n"
         "CONFIG WRT0 = ON, WRT1 = OFF, WRT2 = OFF, WRT3 = OFF, WRTB = ON, WRTC = OFF, WRTD = OFF\n"
         "CONFIG EBTR0 = OFF, EBTR1 = ON, EBTR2 = OFF, EBTR3 = OFF, EBTRB = ON",
         "inhx32"},
        // The older form, with the header's symbols: unimplemented bits set.
        {"18F258",
         "__CONFIG _CONFIG1H, _HS_OSC_1H & _OSCS_OFF_1H\n"
         "__CONFIG _CONFIG2L, _PWRT_ON_2L & _BOR_ON_2L & _BORV_25_2L\n"
         "__CONFIG _CONFIG2H, _WDT_ON_2H & _WDTPS_8_2H\n"
         "__CONFIG _CONFIG4L, _STVR_OFF_4L & _LVP_OFF_4L & _DEBUG_OFF_4L\n"
         "__CONFIG _CONFIG5L, _CP0_OFF_5L & _CP1_OFF_5L & _CP2_OFF_5L & _CP3_OFF_5L\n"
         "__CONFIG _CONFIG5H, _CPB_OFF_5H & _CPD_OFF_5H\n"
         "__CONFIG _CONFIG6L, _WRT0_OFF_6L & _WRT1_ON_6L & _WRT2_OFF_6L & _WRT3_OFF_6L\n"
         "__CONFIG _CONFIG6H, _WRTC_OFF_6H & _WRTB_OFF_6H & _WRTD_ON_6H\n"
         "__CONFIG _CONFIG7L, _EBTR0_ON_7L & _EBTR1_OFF_7L & _EBTR2_OFF_7L & _EBTR3_ON_7L\n"
         "__CONFIG _CONFIG7H, _EBTRB_OFF_7H",
         "inhx32"},
        {"18F1320",
         "CONFIG OSC = INTIO2, FSCM = ON, IESO = OFF, PWRT = OFF, BOR = ON, BORV = 27\n"
         "CONFIG WDT = OFF, WDTPS = 1024, MCLRE = OFF, STVR = ON, LVP = OFF, DEBUG = OFF\n"
         "CONFIG CP0 = OFF, CP1 = OFF, CPB = OFF, CPD = OFF, WRT0 = OFF, WRT1 = ON\n"
         "CONFIG WRTC = OFF, WRTB = OFF, WRTD = OFF, EBTR0 = ON, EBTR1 = OFF, EBTRB = OFF",
         "inhx32"},
        {"18F4550",
         "CONFIG FOSC = HSPLL_HS, PLLDIV = 5, CPUDIV = OSC2_PLL3, USBDIV = 2, FCMEN = ON, IESO = OFF\n"
         "CONFIG PWRT = ON, BOR = SOFT, BORV = 2, VREGEN = ON, WDT = OFF, WDTPS = 256\n"
         "CONFIG CCP2MX = OFF, PBADEN = OFF, LPT1OSC = ON, MCLRE = ON\n"
         "CONFIG STVREN = ON, LVP = OFF, ICPRT = OFF, XINST = OFF, DEBUG = OFF\n"
         "CONFIG CP0 = OFF, CP1 = OFF, CP2 = OFF, CP3 = OFF, CPB = OFF, CPD = OFF\n"
         "CONFIG WRT0 = OFF, WRT1 = OFF, WRT2 = ON, WRT3 = OFF, WRTB = OFF, WRTC = OFF, WRTD = OFF\n"
         "CONFIG EBTR0 = OFF, EBTR1 = OFF, EBTR2 = OFF, EBTR3 = OFF, EBTRB = ON",
         "inhx32"},
        {"18F4680",
         "CONFIG OSC = IRCIO67, FCMEN = OFF, IESO = ON, PWRT = ON, BOREN = BOACTIVE, BORV = 1\n"
         "CONFIG WDT = OFF, WDTPS = 4096, PBADEN = OFF, LPT1OSC = ON, MCLRE = ON\n"
         "CONFIG STVREN = OFF, LVP = OFF, BBSIZ = 4096, XINST = ON, DEBUG = OFF\n"
         "CONFIG CP0 = OFF, CP1 = OFF, CP2 = OFF, CP3 = OFF, CPB = OFF, CPD = OFF\n"
         "CONFIG WRT0 = OFF, WRT1 = OFF, WRT2 = OFF, WRT3 = ON, WRTC = ON, WRTB = OFF, WRTD = OFF\n"
         "CONFIG EBTR0 = OFF, EBTR1 = ON, EBTR2 = OFF, EBTR3 = OFF, EBTRB = OFF",
         "inhx32"},
        {"18LF25K50",
         "CONFIG FOSC = INTOSCIO, PLLSEL = PLL3X, CFGPLLEN = ON, CPUDIV = CLKDIV3, LS48MHZ = SYS48X8\n"
         "CONFIG PCLKEN = OFF, FCMEN = ON, IESO = ON, nPWRTEN = ON, BOREN = NOSLP, BORV = 220\n"
         "CONFIG nLPBOR = ON, WDTEN = SWON, WDTPS = 1024\n"
         "CONFIG CCP2MX = RB3, PBADEN = OFF, T3CMX = RC0, SDOMX = RC7, MCLRE = ON\n"
         "CONFIG STVREN = OFF, LVP = OFF, ICPRT = OFF, XINST = OFF, DEBUG = OFF\n"
         "CONFIG CP0 = OFF, CP1 = OFF, CP2 = OFF, CP3 = OFF, CPB = OFF, CPD = OFF\n"
         "CONFIG WRT0 = OFF, WRT1 = ON, WRT2 = OFF, WRT3 = OFF, WRTC = OFF, WRTB = OFF, WRTD = OFF\n"
         "CONFIG EBTR0 = OFF, EBTR1 = OFF, EBTR2 = ON, EBTR3 = OFF, EBTRB = OFF",
         "inhx32"},
    };
    QTemporaryDir dir;
    for (const Trip& t : trips) {
        SCOPED_TRACE(std::string(t.part) + " " + t.format);
        const auto header = readGputilsPart(t.part);
        ASSERT_TRUE(header);
        const bool pic18 = QString(t.part).startsWith("18"), inhx16 = std::string_view(t.format) == "inhx16";
        const QStringList srecFormat{inhx16 ? "-Intel_16" : "-Intel"};
        // Where the files keep the IDs and the configuration: the linker
        // script's pages, in words on the classic parts, low byte first.
        const GputilsPart::Page* idPage = header->page(pic18 ? "idlocs" : ".idlocs");
        const GputilsPart::Page* configPage = header->page(pic18 ? "config" : ".config");
        ASSERT_TRUE(idPage && configPage);
        const std::uint32_t unit = pic18 ? 1 : 2, idAt = idPage->start * unit, configAt = configPage->start * unit,
                            configBytes = (configPage->end - configPage->start + 1) * unit;
        // The bits of each configuration byte of the file a user can set.
        std::vector<std::uint8_t> settable(configBytes);
        for (std::uint32_t j = 0; j < configBytes; ++j)
            settable[j] = pic18 ? header->configSettable(kPic18ConfigByteNames[j ^ 1])
                                : std::uint8_t(header->implementedBits(int(j / 2)) >> (j % 2 ? 8 : 0));
        // The bits the saved file must keep there, and of the classic IDs the
        // seven the program shows.
        std::map<std::uint32_t, std::uint8_t> kept;
        for (std::uint32_t j = 0; j < configBytes; ++j) kept[configAt + j] = settable[j];
        if (!pic18)
            for (std::uint32_t n = 0; n < 4; ++n) kept[idAt + 2 * n] = 0x7F, kept[idAt + 2 * n + 1] = 0x00;

        const QString processor = QString(t.part).toLower();
        QString source = "    LIST P=" + processor + "\n    #include <p" + processor + ".inc>\n";
        for (const QString& line : QString(t.config).split('\n')) source += "    " + line + "\n";
        if (pic18) {
            for (int n = 0; n < 8; ++n) source += QString("    __idlocs _IDLOC%1, 0x%2\n").arg(n).arg(0xA0 + 7 * n, 0, 16);
            source += "    ORG 0\nstart:\n    movlw 0x5A\n    goto start\n    ORG 0x1FF0\n    DW 0x1234, 0xBEEF\n"
                      "    ORG 0xF00000\n    DE 0x11, 0x22, 0x33, 0x44\n";
        } else {
            source += "    __idlocs h'1234'\n    ORG 0\n    goto 0\n";
        }
        source += "    END\n";
        const QString asmFile = dir.filePath(QString(t.part) + ".asm"), made = dir.filePath(QString(t.part) + ".hex"),
                      saved = dir.filePath(QString(t.part) + "-read.hex");
        ASSERT_TRUE(writeFile(asmFile, source.toLatin1()));
        QString err;
        ASSERT_EQ(runTool("gpasm", {"-a", t.format, "-o", made, asmFile}, &err), 0) << err.toStdString();
        // gpasm's IDs and configuration, and which of those bytes it wrote.
        std::vector<bool> held;
        const QByteArray read =
            srecRead(made, srecFormat, {{idAt, 8}, {configAt, configBytes}}, dir.filePath("read.bin"), &held);
        const QByteArray wantIds = read.left(8), wantConfig = read.mid(8);

        selectNamed(t.part);
        st().settings.ProgramSteps = std::uint8_t(st().dev()->StepMask & 0x17);  // code, data, IDs, configuration
        clearLogs();
        transfer(w().SB_Load, made, inhx16);
        ASSERT_TRUE(w().memoLines().contains(" File " + made + " Loaded")) << w().memoLines().join('\n').toStdString();
        configure([](TfrmPicConfig&) {});
        ASSERT_TRUE(ran(w().SB_Prog, " CONFIG Programmed"));
        EXPECT_FALSE(dynamic_cast<sim::PicFamilyChip&>(*sim_.chip()).codeProtected());
        // The part's configuration byte k is the file's byte k ^ 1.
        const std::vector<std::uint8_t> chipConfig = pic18 ? std::vector<std::uint8_t>(chip18().config().begin(),
                                                                                         chip18().config().end())
                                                           : chip16().config();
        ASSERT_GE(chipConfig.size(), configBytes);
        for (std::uint32_t j = 0; j < configBytes; ++j) {
            if (!settable[j]) continue;
            ASSERT_TRUE(held[8 + j]) << "gpasm wrote no configuration byte at " << std::hex << configAt + j;
            EXPECT_EQ(chipConfig[j ^ 1] & settable[j], std::uint8_t(wantConfig[j]) & settable[j])
                << "the part's configuration byte " << (j ^ 1);
        }
        for (int n = 0; n < (pic18 ? 8 : 4); ++n) {
            if (pic18) {
                EXPECT_EQ(chip18().idLocation(std::size_t(n)), std::uint8_t(wantIds[n])) << "IDLOC" << n;
            } else {
                EXPECT_EQ(chip16().idWord(std::size_t(n)) & 0x7F, std::uint8_t(wantIds[2 * n]) & 0x7F) << "ID " << n;
            }
        }
        const QStringList verified = press(w().SB_Verify);
        EXPECT_EQ(st().ErrorFlag.get(), 0) << verified.join('\n').toStdString();

        std::fill(st().buf.DeviceBuffer.begin(), st().buf.DeviceBuffer.end(), 0x00);
        ASSERT_TRUE(ran(w().SB_Read, " Read Completed"));
        clearLogs();
        transfer(w().SB_Save, saved, inhx16);
        ASSERT_TRUE(w().memoLines().contains(" File " + saved + " saved")) << w().memoLines().join('\n').toStdString();
        QString differences;
        EXPECT_TRUE(srecHolds(made, srecFormat, saved, srecFormat, kept, &differences))
            << differences.toStdString();
    }
}

}  // namespace
