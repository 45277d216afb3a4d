// PIC18 sample records and configuration pages held against gputils'
// processor files: each record's memory sizes, default configuration bytes
// and configuration mask row against the bits each CONFIG byte of its part
// names, and every control of its configuration page against the header's
// symbol of the setting the control shows. Page codes no sample record uses
// are held against a part gputils gives for them.
//
// gputils' files hold no device IDs, so the records' IDs are not checked here.
#include <QCheckBox>

#include <deque>
#include <optional>
#include <set>

#include "config/PicControlStates.h"
#include "config/PicPages.h"
#include "families/Pic18.h"
#include "picconfig/PicConfigRig.h"
#include "support/PartHeaders.h"

using namespace tesmar;
using namespace tesmar::test;

namespace {

std::string hex(unsigned v) { return QString::asprintf("0x%02X", v).toStdString(); }

// ---- What each control means, in the headers' words ------------------------

// One state of a control: a radio item by its caption, or a box checked or
// not. `symbols` are the names the headers of different generations give the
// setting ("A|B"): the first one the part's header has is the setting.
// `alike` are further field values the data sheets give the same meaning
// (the external RC oscillator of the 4-bit oscillator fields is 0011, 101x
// and 11xx on the older parts, 0110 and 111x on the K parts; the USB parts'
// crystal oscillators take a pair of codes each; the largest boot block is
// 1x). A page may write or keep any value of a setting's kind: a look at it
// changes no setting when it moves a field only within one kind.
struct Setting {
    const char* caption;  // nullptr for a box
    const char* symbols;
    std::vector<std::uint8_t> alike = {};
};

struct ControlRef {
    const char* control;
    const char* caption;            // a box's caption
    std::vector<Setting> settings;  // a box: checked, then unchecked
    std::uint8_t also = 0;          // bits of other fields the control sets by its own rule
};

// A box captioned `caption` (nullptr: the caption follows the state),
// checked when the setting `on` holds, unchecked for `off`.
ControlRef box(const char* control, const char* caption, const char* on, const char* off, std::uint8_t also = 0) {
    return {control, caption, {{nullptr, on}, {nullptr, off}}, also};
}
ControlRef group(const char* control, std::vector<Setting> items) { return {control, nullptr, std::move(items)}; }

// The watchdog postscaler: "1:1" .. "1:32768" for the WDTPS (or WDPS) settings.
std::vector<Setting> postscaler(int n) {
    static std::deque<std::string> keep;  // the strings the settings point into
    std::vector<Setting> out;
    for (int i = 0; i < n; ++i) {
        const int ratio = 1 << i;
        const std::string k = ratio >= 1024 ? std::to_string(ratio / 1024) + "K" : std::to_string(ratio);
        keep.push_back("1:" + std::to_string(ratio));
        const char* caption = keep.back().c_str();
        keep.push_back("_WDTPS_" + std::to_string(ratio) + "_2H|_WDPS_" + std::to_string(ratio) + "_2H|_WDTPS_" + k +
                       "_2H");
        out.push_back({caption, keep.back().c_str()});
    }
    return out;
}

const std::vector<std::uint8_t> kOlderExternalRc = {0x03, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};

// A protection box: checked is the setting "<field>_ON".
ControlRef protect(const std::string& control, const std::string& caption, const std::string& field,
                   const std::string& byte) {
    static std::deque<std::string> keep;  // the strings the references point into
    for (const std::string& t : {control, caption, "_" + field + "_ON_" + byte, "_" + field + "_OFF_" + byte})
        keep.push_back(t);
    const auto at = keep.end() - 4;
    return box(at[0].c_str(), at[1].c_str(), at[2].c_str(), at[3].c_str());
}

const std::vector<ControlRef>& controlRefs() {
    static const std::vector<ControlRef> refs = [] {
        std::vector<ControlRef> r = {
            // Page27 set.
            group("RG27_Osc", {{"LP", "_LP_OSC_1H"}, {"XT", "_XT_OSC_1H"}, {"HS", "_HS_OSC_1H"}, {"RC", "_RC_OSC_1H"},
                               {"EC + CLKout on OSC2", "_EC_OSC_1H"}, {"EC + RA6", "_ECIO_OSC_1H"},
                               {"HS + PLL enabled", "_HSPLL_OSC_1H"}, {"RC + RA6", "_RCIO_OSC_1H"}}),
            box("CB27_Oscen", "Timer1 Osc syst clk disabled", "_OSCS_OFF_1H", "_OSCS_ON_1H"),
            box("CB27_Wdt", "Watchdog  enabled", "_WDT_ON_2H", "_WDT_OFF_2H", 0x0E),  // off: postscaler 1:128
            group("RG27_Wdt", postscaler(8)),
            box("CB27_Pwt", "Power-Up Timer  disabled", "_PWRT_OFF_2L", "_PWRT_ON_2L"),
            box("CB27_Boren", "Brown Out Enabled", "_BOR_ON_2L", "_BOR_OFF_2L"),
            group("RG27_Bor", {{"4.5V", "_BORV_45_2L"}, {"4.2V", "_BORV_42_2L"}, {"2.7V", "_BORV_27_2L"},
                               {"2.0V", "_BORV_20_2L"}, {"2.5V", "_BORV_25_2L"}}),
            box("CB27_Ccp", nullptr, "_CCP2MX_ON_3H", "_CCP2MX_OFF_3H"),
            box("CB27_Ser", "Stack Error Reset enabled", "_STVR_ON_4L", "_STVR_OFF_4L"),
            box("CB27_Lvp", "Low Voltage Prog enabled", "_LVP_ON_4L", "_LVP_OFF_4L"),
            box("CB27_Bkd", "Background Debugger disabled", "_DEBUG_OFF_4L", "_DEBUG_ON_4L"),

            // Page34 set.
            group("RG34_Osc", {{"LP", "_LP_OSC_1H|_OSC_LP_1H"},
                               {"XT", "_XT_OSC_1H|_OSC_XT_1H"},
                               {"HS", "_HS_OSC_1H|_OSC_HS_1H"},
                               {"EC + CLKout on RA6", "_EC_OSC_1H|_OSC_EC_1H"},
                               {"EC + RA6", "_ECIO_OSC_1H|_ECIOP_OSC_1H|_OSC_ECIO_1H"},
                               {"HS + PLL enabled", "_HSPLL_OSC_1H|_OSC_HSPLL_1H"},
                               {"Ext RC + RA6", "_RCIO_OSC_1H|_OSC_RCIO_1H"},
                               {"Int RC + RA6 + RA7", "_INTIO2_OSC_1H|_OSC_IRCIO_1H"},
                               {"Int RC + CLKout on RA6 + RA7", "_INTIO1_OSC_1H|_OSC_IRC_1H"},
                               {"Ext RC + CLKout on RA6", "_RC_OSC_1H|_OSC_RC_1H", kOlderExternalRc}}),
            box("CB34_Fcmem", "Fail-Safe Clk Mon Enabled", "_FSCM_ON_1H|_FCMEN_ON_1H", "_FSCM_OFF_1H|_FCMEN_OFF_1H"),
            box("CB34_Ieso", "Int Ext Switch Over Enabled", "_IESO_ON_1H", "_IESO_OFF_1H"),
            box("CB34_Pwt", "Power-Up Timer  disabled", "_PWRT_OFF_2L|_PWRTEN_OFF_2L", "_PWRT_ON_2L|_PWRTEN_ON_2L"),
            box("CB34_Boren", "Brown Out Enabled", "_BOR_ON_2L|_BOREN_ON_2L", "_BOR_OFF_2L|_BOREN_OFF_2L"),
            group("RG34_Bor", {{"4.5V", "_BORV_45_2L"}, {"4.2V", "_BORV_42_2L"}, {"2.7V", "_BORV_27_2L"},
                               {"2.0V", "_BORV_20_2L"}}),
            box("CB34_Wdt", "Watchdog  enabled", "_WDT_ON_2H|_WDTEN_ON_2H", "_WDT_OFF_2H|_WDTEN_OFF_2H"),
            group("RG34_Wdt", postscaler(16)),
            box("CB34_Winen", "WDT Window enable", "_WINEN_ON_2H", "_WINEN_OFF_2H"),
            // Code 34: the CCP2 pin; code 45: the FLTA pin.
            box("CB34_Ccp", nullptr, "_CCP2MX_ON_3H|_CCP2MX_C1_3H|_FLTAMX_RC1_3H", "_CCP2MX_OFF_3H|_CCP2MX_B3_3H|_FLTAMX_RD4_3H"),
            box("CB34_Pbad", "PORTB A/D <4:0> enabled", "_PBAD_ANA_3H|_PBADEN_ON_3H", "_PBAD_DIG_3H|_PBADEN_OFF_3H"),
            // The multiplexer captions name no pin: checked keeps the reset pins.
            box("CB34_SSP", "SSP I/O Mux ", "_SSPMX_RC7_3H", "_SSPMX_RD1_3H"),
            box("CB34_Pwm4", "PWM4 Mux", "_PWM4MX_RB5_3H", "_PWM4MX_RD5_3H"),
            box("CB34_Excm", "External Clock Mux", "_EXCLKMX_RC3_3H", "_EXCLKMX_RD0_3H"),
            box("CB34_Mcl", "MCLR enabled", "_MCLRE_ON_3H", "_MCLRE_OFF_3H"),
            box("CB34_Pwmpin", "PWM disabled on Reset", "_PWMPIN_OFF_3L", "_PWMPIN_ON_3L"),
            box("CB34_LPOL", "LPOL active high", "_LPOL_HIGH_3L", "_LPOL_LOW_3L"),
            box("CB34_HPOL", "HPOL active high", "_HPOL_HIGH_3L", "_HPOL_LOW_3L"),
            box("CB34_GPTREN", "Low-power Timer1 in Sleep", "_T1OSCMX_ON_3L", "_T1OSCMX_OFF_3L"),
            box("CB34_Ser", "Stack Error Reset enabled", "_STVR_ON_4L|_STVREN_ON_4L", "_STVR_OFF_4L|_STVREN_OFF_4L"),
            box("CB34_Lvp", "Low Voltage Prog enabled", "_LVP_ON_4L", "_LVP_OFF_4L"),
            box("CB34_Bkd", "Background Debugger disabled", "_DEBUG_OFF_4L", "_DEBUG_ON_4L"),

            // Page36 set.
            // The USB parts' FOSC: 000x XT, 001x XT with PLL, 110x HS, 111x HS with PLL.
            group("RG36_Osc", {{"XT,  XTused by USB", "_FOSC_XT_XT_1H", {0x00, 0x01}},
                               {"XT, ,XT used by USB, PLL enabled", "_FOSC_XTPLL_XT_1H", {0x02, 0x03}},
                               {"EC, EC used by USB, RA6 = IO", "_FOSC_ECIO_EC_1H"},
                               {"EC, EC used by USB, CLKout on RA6", "_FOSC_EC_EC_1H"},
                               {"EC, EC used by USB, PLL enabled, RA6 = IO", "_FOSC_ECPLLIO_EC_1H"},
                               {"EC, EC used by USB, PLL enabled, CLKout on RA6", "_FOSC_ECPLL_EC_1H"},
                               {"Int Osc, EC used by USB, RA6 = IO", "_FOSC_INTOSCIO_EC_1H"},
                               {"Int Osc, EC used by USB, CLKout on RA6", "_FOSC_INTOSC_EC_1H"},
                               {"Int Osc, XT used by USB", "_FOSC_INTOSC_XT_1H"},
                               {"Int Osc, HS used by USB", "_FOSC_INTOSC_HS_1H"},
                               {"HS, HS used by USB", "_FOSC_HS_1H", {0x0C, 0x0D}},
                               {"HS, HS used by USB, PLL enabled", "_FOSC_HSPLL_HS_1H", {0x0E, 0x0F}}}),
            group("RG37_Osc", {{"LP Osc", "_OSC_LP_1H"},
                               {"XT Osc", "_OSC_XT_1H"},
                               {"HS Osc", "_OSC_HS_1H"},
                               {"Ext RC Osc, RA6 = CLKO", "_OSC_RC_1H", kOlderExternalRc},
                               {"EC Osc, RA6 = CLKO ", "_OSC_EC_1H"},
                               {"EC Osc, RA6 I/O", "_OSC_ECIO6_1H|_OSC_ECIO_1H"},
                               {"HS Osc, PLL enabled", "_OSC_HSPLL_1H"},
                               {"Ext RC Osc, RA6 = I/O", "_OSC_RCIO6_1H|_OSC_RCIO_1H"},
                               {"Int RC Osc, RA6 and RA7 = I/O", "_OSC_INTIO67_1H|_OSC_IRCIO67_1H"},
                               {"Int RC Osc, RA6 = CLKO,  RA7 = I/O", "_OSC_INTIO7_1H|_OSC_IRCIO7_1H"}}),
            box("CB36_Fcm", "FCM enabled", "_FCMEN_ON_1H", "_FCMEN_OFF_1H"),
            box("CB36_Ieso", "IESO enabled", "_IESO_ON_1H", "_IESO_OFF_1H"),
            group("RG36_Osd", {{"No Osc divide (4MHz)", "_PLLDIV_1_1L"},
                               {"Osc divided by 2 (8MHz)", "_PLLDIV_2_1L"},
                               {"Osc divided by 3 (12MHz)", "_PLLDIV_3_1L"},
                               {"Osc divided by 4 (16MHz)", "_PLLDIV_4_1L"},
                               {"Osc divided by 5 (20MHz)", "_PLLDIV_5_1L"},
                               {"Osc divided by 6 (24MHz)", "_PLLDIV_6_1L"},
                               {"Osc divided by 10 (40MHz)", "_PLLDIV_10_1L"},
                               {"Osc divided by 12 (48MHz)", "_PLLDIV_12_1L"}}),
            group("RG36_Clkdiv", {{"No CPU Clock divide", "_CPUDIV_OSC1_PLL2_1L"},
                                  {"CPU Clock divided by 2", "_CPUDIV_OSC2_PLL3_1L"},
                                  {"CPU Clock divided by 3", "_CPUDIV_OSC3_PLL4_1L"},
                                  {"CPU Clock divided by 4", "_CPUDIV_OSC4_PLL6_1L"}}),
            box("CB36_Pll", "USB Clk Src  96MHz PLL div 2", "_USBDIV_2_1L", "_USBDIV_1_1L"),
            box("CB36_Wdt", "WDT enabled", "_WDT_ON_2H", "_WDT_OFF_2H"),
            group("RG36_Wdt", postscaler(16)),
            box("CB36_Pwrt", "PWRT disabled", "_PWRT_OFF_2L", "_PWRT_ON_2L"),
            group("RG36_Bor", {{"BOR disabled", "_BOR_OFF_2L|_BOREN_OFF_2L"},
                               {"BOR enabled , controlled by software", "_BOR_SOFT_2L|_BOREN_ON_2L|_BOREN_SBORENCTRL_2L"},
                               {"BOR enabled , disabled in SLEEP mode",
                                "_BOR_ON_ACTIVE_2L|_BOREN_NOSLP_2L|_BOREN_BOACTIVE_2L"},
                               {"BOR enabled by hardware only", "_BOR_ON_2L|_BOREN_SBORDIS_2L|_BOREN_BOHW_2L"}}),
            // The four levels from the highest down; the parts differ by a tenth of a volt.
            group("RG36_Bov", {{"4.5V", "_BORV_0_2L|_BORV_46_2L"},
                               {"4.2V", "_BORV_1_2L|_BORV_43_2L"},
                               {"2.7V", "_BORV_2_2L|_BORV_28_2L"},
                               {"2.0V", "_BORV_3_2L|_BORV_21_2L"}}),
            box("CB36_Vreg", "VREG enabled", "_VREGEN_ON_2L", "_VREGEN_OFF_2L"),
            box("CB36_Ccp2", "CCP2 muxed with RC1", "_CCP2MX_ON_3H|_CCP2MX_PORTC_3H", "_CCP2MX_OFF_3H|_CCP2MX_PORTBE_3H"),
            box("CB36_Pbad", "PBAD enabled", "_PBADEN_ON_3H", "_PBADEN_OFF_3H"),
            box("CB36_Lpt1", "LPT1OSC enabled", "_LPT1OSC_ON_3H", "_LPT1OSC_OFF_3H"),
            box("CB36_Mclr", "MCLR enabled", "_MCLRE_ON_3H", "_MCLRE_OFF_3H"),
            box("CB36_Stvr", "STVR enabled", "_STVREN_ON_4L", "_STVREN_OFF_4L"),
            box("CB36_Lvp", "LVP enabled", "_LVP_ON_4L", "_LVP_OFF_4L"),
            box("CB36_Icport", "ICPORT enabled", "_ICPRT_ON_4L", "_ICPRT_OFF_4L"),
            box("CB36_Xinst", "XINST enabled", "_XINST_ON_4L", "_XINST_OFF_4L"),
            box("CB36_Debug", "DEBUG disabled ", "_DEBUG_OFF_4L", "_DEBUG_ON_4L"),
            group("RG37_BB", {{"1K words Boot Block", "_BBSIZ_1024_4L"},
                              {"2K words Boot Block", "_BBSIZ_2048_4L"},
                              {"4K words Boot Block", "_BBSIZ_4096_4L", {0x30}}}),
            group("RG42_BB", {{"1K words Boot Block", "_BBSIZ_1024_4L|_BBSIZ_BB1K_4L"},
                              {"2K words Boot Block", "_BBSIZ_2048_4L|_BBSIZ_BB2K_4L"}}),

            // Page38 set.
            group("RG38_Osc", {{"LP Osc", "_FOSC_LP_1H"},
                               {"XT Osc", "_FOSC_XT_1H"},
                               {"HS Osc (high power, >16MHz)", "_FOSC_HSH_1H"},
                               {"HS Osc (medium power 4-16MHz)", "_FOSC_HSM_1H"},
                               {"EC Osc, RA6 = CLKO (high power, >16MHz)", "_FOSC_ECHCLKO_1H"},
                               {"EC Osc (high power, >16MHz)", "_FOSC_ECHIO_1H"},
                               {"Ext RC Osc, RA6 = CLKO", "_FOSC_RCCLKO_1H", {0x0E, 0x0F}},
                               {"Ext RC Osc", "_FOSC_RCIO_1H"},
                               {"Int RC Osc", "_FOSC_INTOSCIO_1H"},
                               {"Int RC Osc, RA6 = CLKO", "_FOSC_INTOSCCLKO_1H"},
                               {"EC Osc, RA6 = CLKO (medium power 4-16MHz)", "_FOSC_ECMCLKO_1H"},
                               {"EC Osc (medium power 4-16MHz)", "_FOSC_ECMIO_1H"},
                               {"EC Osc, RA6 = CLKO (low power)", "_FOSC_ECLCLKO_1H"},
                               {"EC Osc (low power)", "_FOSC_ECLIO_1H"}}),
            box("CB38_IESO", "IESO Enabled", "_IESO_ON_1H", "_IESO_OFF_1H"),
            box("CB38_FCMEN", "FCMEN Enabled", "_FCMEN_ON_1H", "_FCMEN_OFF_1H"),
            box("CB38_PCLKEN", "Primary Clock Enabled", "_PCLKEN_ON_1H", "_PCLKEN_OFF_1H"),
            group("RG38_USBLSDIV", {{"USB 24MHz Sys Clk divide by 4", "_LS48MHZ_SYS24X4_1L"},
                                    {"USB 48MHz Sys Clk divide by 8", "_LS48MHZ_SYS48X8_1L"}}),
            group("RG38_CPUDIV", {{"No CPU system clock divide", "_CPUDIV_NOCLKDIV_1L"},
                                  {"CPU system clock divide by 2", "_CPUDIV_CLKDIV2_1L"},
                                  {"CPU system clock divide by 3", "_CPUDIV_CLKDIV3_1L"},
                                  {"CPU system clock divide by 6", "_CPUDIV_CLKDIV6_1L"}}),
            group("RG38_PLLEN", {{"Osc used directly", "_CFGPLLEN_OFF_1L"},
                                 {"Osc multiplied by 3 or 4", "_CFGPLLEN_ON_1L"}}),
            group("RG38_PLLMULT", {{"Output = 4x Input Freq", "_PLLSEL_PLL4X_1L"},
                                   {"Output = 3x Input Freq", "_PLLSEL_PLL3X_1L"}}),
            group("RG38_WDTPS", postscaler(16)),
            group("RG38_WDTEN", {{"Disabled", "_WDTEN_OFF_2H"},
                                 {"Enabled, Disabled in Sleep", "_WDTEN_NOSLP_2H"},
                                 {"Controlled by SWDTEN bit", "_WDTEN_SWON_2H"},
                                 {"Enabled", "_WDTEN_ON_2H"}}),
            box("CB38_LBPOR", "Low-Power Brown-out Disabled", "_nLPBOR_OFF_2L", "_nLPBOR_ON_2L"),
            group("RG38_BORV", {{"2.85 V", "_BORV_285_2L"},
                                {"  2.5 V", "_BORV_250_2L"},
                                {"  2.2 V", "_BORV_220_2L"},
                                {"  1.9 V", "_BORV_190_2L"},
                                {"2.85V", "_BORV_285_2L"},
                                {"2.5V", "_BORV_250_2L"}}),
            group("RG38_BOREN", {{"Disabled", "_BOREN_OFF_2L"},
                                 {"Controlled by SBOREN bit", "_BOREN_ON_2L"},
                                 {"Enabled , Disabled in Sleep", "_BOREN_NOSLP_2L"},
                                 {"Enabled", "_BOREN_SBORDIS_2L"}}),
            box("CB38_PWRTEN", "Power-up timer Disabled", "_nPWRTEN_OFF_2L|_PWRTEN_OFF_2L", "_nPWRTEN_ON_2L|_PWRTEN_ON_2L"),
            box("CB38_MCLRE", "MLCR Pin Enabled", "_MCLRE_ON_3H", "_MCLRE_OFF_3H"),
            group("RG38_SDOMX", {{"SDO on RC7", "_SDOMX_RC7_3H"}, {"SDO on RB3", "_SDOMX_RB3_3H"}}),
            group("RG38_T3CMX", {{"T3CKI on RB5", "_T3CMX_RB5_3H"}, {"T3CKI on RC0", "_T3CMX_RC0_3H"}}),
            box("CB38_PBADEN", "PORTB A/D Enabled", "_PBADEN_ON_3H", "_PBADEN_OFF_3H"),
            group("RG38_CCP2MX", {{"CCP2 is multiplexed with RB3", "_CCP2MX_RB3_3H"},
                                  {"CCP2 is multiplexed with RC1", "_CCP2MX_RC1_3H"}}),
            box("CB38_DEBUG", "DEBUG Disabled", "_DEBUG_OFF_4L", "_DEBUG_ON_4L"),
            box("CB38_XINST", "Extended Instrution Set Enable", "_XINST_ON_4L", "_XINST_OFF_4L"),
            box("CB38_ICPRT", "Dedicated In-Circuit Port Enable", "_ICPRT_ON_4L", "_ICPRT_OFF_4L"),
            box("CB38_LVP", "LVP Enabled", "_LVP_ON_4L", "_LVP_OFF_4L"),
            box("CB38_STVREN", "STVREN enabled", "_STVREN_ON_4L", "_STVREN_OFF_4L"),
        };
        // Protection: checked is protected.
        const char* const ranges[] = {"0200 - 1FFF protected", "2000 - 3FFF protected", "4000 - 5FFF protected",
                                      "6000 - 7FFF protected"};
        const char* const cp27[] = {"CB27_Cp200", "CB27_Cp2000", "CB27_Cp4000", "CB27_Cp6000"};
        r.push_back(protect("CB27_Cpb", "0000 - 01FF protected", "CPB", "5H"));
        r.push_back(protect("CB27_Cpd", "Data EEPROM protected", "CPD", "5H"));
        r.push_back(protect("CB27_Wrtb", "0000 - 01FF protected", "WRTB", "6H"));
        r.push_back(protect("CB27_Wrtc", "Config registers protected", "WRTC", "6H"));
        r.push_back(protect("CB27_Wrtd", "Data EEPROM protected", "WRTD", "6H"));
        r.push_back(protect("CB27_Trb", "0000 - 01FF protected", "EBTRB", "7H"));
        for (int i = 0; i < 4; ++i) {
            const std::string n = std::to_string(i);
            r.push_back(protect(cp27[i], ranges[i], "CP" + n, "5L"));
            r.push_back(protect("CB27_Wrt" + n, ranges[i], "WRT" + n, "6L"));
            r.push_back(protect("CB27_Tr" + n, ranges[i], "EBTR" + n, "7L"));
        }
        // The other sets caption each box with the bit's name.
        struct Names { const char *prefix, *cpb, *cpd, *wrtb, *wrtc, *wrtd, *trb, *cp, *wrt, *tr; int blocks; };
        for (const Names& n : {Names{"CB34_", "Cpb", "Cpd", "Wrtb", "Wrtc", "Wrtd", "Trb", "Cp", "Wrt", "Tr", 4},
                               Names{"CB36_", "Cpb", "Cpd", "Wrtb", "Wrtc", "Wrtd", "Trb", "Cp", "Wrt", "Tr", 6},
                               Names{"CB38_", "CPB", "CPD", "WRTB", "WRTC", "WRTD", "EBTRB", "CP", "WRT", "EBTR", 6}}) {
            const std::string p = n.prefix;
            r.push_back(protect(p + n.cpb, "CPB protected", "CPB", "5H"));
            r.push_back(protect(p + n.cpd, "CPD protected", "CPD", "5H"));
            r.push_back(protect(p + n.wrtb, "WRTB protected", "WRTB", "6H"));
            r.push_back(protect(p + n.wrtc, "WRTC protected", "WRTC", "6H"));
            r.push_back(protect(p + n.wrtd, "WRTD protected", "WRTD", "6H"));
            r.push_back(protect(p + n.trb, "EBTRB protected", "EBTRB", "7H"));
            for (int i = 0; i < n.blocks; ++i) {
                const std::string b = std::to_string(i);
                r.push_back(protect(p + n.cp + b, "CP" + b + " protected", "CP" + b, "5L"));
                r.push_back(protect(p + n.wrt + b, "WRT" + b + " protected", "WRT" + b, "6L"));
                r.push_back(protect(p + n.tr + b, "EBTR" + b + " protected", "EBTR" + b, "7L"));
            }
        }
        return r;
    }();
    return refs;
}

const ControlRef* findRef(const std::string& control) {
    for (const ControlRef& r : controlRefs())
        if (control == r.control) return &r;
    return nullptr;
}

// ---- The parts ---------------------------------------------------------------

struct Part {
    DeviceRecord rec;
    bool sample;
};

// A part of a page code no sample record uses, as its header and linker
// script describe it.
DeviceRecord referenceRecord(const std::string& name, std::uint8_t page) {
    const auto part = readGputilsPart(name);
    if (!part) return {};
    std::vector<std::uint8_t> defaults;
    for (const char* b : kPic18ConfigByteNames) defaults.push_back(part->configSettable(b));
    const std::uint32_t ee = part->eepromBytes();
    return RecordImage('C').algorithm(18).name(name).lastAddress(part->programEnd() - 1).pageCode(page)
        .dataEepromSize(std::uint16_t(ee ? ee - 1 : 0)).stepMask(ee ? 0x57 : 0x55).blankByte(0xFF)
        .voltages(5.0f, 5.5f, 2.0f, 12.0f).pinCount(40).configMaskCount(14).configMasks(defaults).build();
}

std::vector<Part> pic18Parts() {
    std::vector<Part> out;
    for (const DeviceRecord& r : samplePics())
        if (r.isPic18()) out.push_back({r, true});
    for (const auto& [name, page] : {std::pair{"18F4320", 34}, std::pair{"18F4580", 41}, std::pair{"18F4450", 42},
                                     std::pair{"18F4431", 45}})
        out.push_back({referenceRecord(name, std::uint8_t(page)), false});
    return out;
}

// A control the page shows, each state it offers with the part's setting.
struct Resolved {
    struct State {
        int state;
        std::string label;
        const Setting* setting;
        std::uint8_t value;  // the configuration byte holding the setting
    };
    std::string name;
    bool box = false;
    int k = -1;  // the configuration byte (0 CONFIG1H .. 13 CONFIG7L)
    std::uint8_t field = 0;
    std::vector<State> states;
    // Whether `byte` holds the state's setting: its value, or one of the
    // same meaning (`alike`).
    bool holds(const State& s, std::uint8_t byte) const {
        const auto& alike = s.setting->alike;
        return ((byte ^ s.value) & field) == 0 || std::find(alike.begin(), alike.end(), byte & field) != alike.end();
    }
};

class Pic18HeaderCheck : public PicConfigRig {
protected:
    void SetUp() override { ASSERT_TRUE(haveGputils()) << "install gputils (scripts/install-deps)"; }
    void checkControls(const GputilsPart& part);
    std::optional<Resolved> resolve(QWidget* w, const GputilsPart& part);
    void checkLooks(const DeviceRecord& rec, const GputilsPart& part);
};

}  // namespace

TEST_F(Pic18HeaderCheck, EveryRecordHasItsPartsSizesDefaultsAndMaskRow) {
    std::set<int> pages;
    for (const Part& p : pic18Parts()) {
        const DeviceRecord& r = p.rec;
        SCOPED_TRACE(r.Name);
        const auto part = readGputilsPart(r.Name);
        ASSERT_TRUE(part) << "gputils has no header for " << r.Name;
        // The other records are made from the header: only their page's mask row is checked.
        if (p.sample) {
            EXPECT_EQ(part->programEnd(), r.LastAddress + 1) << "program memory";
            EXPECT_EQ(part->eepromBytes(), (r.StepMask & 0x02) ? r.DataEepromSize + 1u : 0u) << "data EEPROM";
        }
        const Pic18Mask row = pic18MaskFor(r.PageCode);
        for (int k = 0; k < 14; ++k) {
            SCOPED_TRACE(std::string("CONFIG") + kPic18ConfigByteNames[k]);
            const std::uint8_t named = part->configNamed(kPic18ConfigByteNames[k]);
            const std::uint8_t settable = part->configSettable(kPic18ConfigByteNames[k]);
            if (p.sample) {
                EXPECT_EQ(r.ConfigMasks[std::size_t(k)], settable) << "default bytes: the bits a user can set";
            }
            EXPECT_EQ(row[std::size_t(k)] & ~named, 0) << "page " << int(r.PageCode) << "'s mask row compares bits the part lacks";
            EXPECT_EQ(settable & ~row[std::size_t(k)], 0) << "page " << int(r.PageCode) << "'s mask row drops bits the part has";
        }
        select(r);
        EXPECT_NE(config::picOpening(r, st.buf.size()).set, nullptr) << "no configuration page";
        pages.insert(r.PageCode);
    }
    // Every PIC18 page code with a page is held against a part.
    for (int code : {27, 28, 34, 35, 36, 37, 38, 41, 42, 43, 44, 45}) EXPECT_TRUE(pages.count(code)) << code;
}

std::optional<Resolved> Pic18HeaderCheck::resolve(QWidget* w, const GputilsPart& part) {
    auto* b = qobject_cast<QCheckBox*>(w);
    auto* g = qobject_cast<RadioGroup*>(w);
    Resolved r;
    r.name = w->objectName().toStdString();
    r.box = b != nullptr;
    const ControlRef* ref = findRef(r.name);
    if (!ref) {
        ADD_FAILURE() << "no reference for this control";
        return std::nullopt;
    }
    // Each state the control offers, and its setting.
    std::vector<std::pair<int, const Setting*>> states;
    std::vector<std::string> labels;
    if (b) {
        if (ref->caption) {
            EXPECT_EQ(b->text().toStdString(), ref->caption) << "the box names another setting";
        }
        states = {{1, &ref->settings[0]}, {0, &ref->settings[1]}};
        labels = {"checked", "unchecked"};
    } else {
        const QStringList items = g->items();
        for (int i = 0; i < items.size(); ++i) {
            if (!g->button(i)->isEnabledTo(g)) continue;  // the group itself may be greyed by now
            const Setting* s = nullptr;
            for (const Setting& c : ref->settings)
                if (c.caption && items[i] == c.caption) s = &c;
            if (!s) ADD_FAILURE() << "item \"" << items[i].toStdString() << "\" names no setting we know";
            else states.push_back({i, s}), labels.push_back(items[i].toStdString());
        }
    }
    for (std::size_t i = 0; i < states.size(); ++i) {
        const auto sym = part.settingSymbols(states[i].second->symbols);
        if (!sym) {
            ADD_FAILURE() << "\"" << labels[i] << "\": the part has no setting " << states[i].second->symbols;
            continue;
        }
        const std::string& symbol = sym->front();
        const auto value = std::uint8_t(part.value(symbol));
        const int k = pic18ConfigByte(symbol);
        if (r.k < 0) r.k = k;
        EXPECT_EQ(k, r.k) << symbol << " lies in another byte";
        r.field |= std::uint8_t(~value);
        r.states.push_back({states[i].first, labels[i], states[i].second, value});
    }
    if (r.k < 0) return std::nullopt;
    return r;
}

// Each setting of the part alone on the default bytes, as a file holding
// only it: every control shows the state whose setting the bytes hold (a
// list no item where they hold none of its settings), and OK leaves every bit
// a user can set as it was, or within one setting of the same meaning.
void Pic18HeaderCheck::checkLooks(const DeviceRecord& rec, const GputilsPart& part) {
    select(rec);
    std::array<std::uint8_t, 14> defaults{}, settable{};
    for (int k = 0; k < 14; ++k) {
        defaults[std::size_t(k)] = cfg(k);
        settable[std::size_t(k)] = part.configSettable(kPic18ConfigByteNames[k]);
    }
    open();
    std::vector<Resolved> controls;
    for (QWidget* w : shownControls(*dlg, true))
        if (auto r = resolve(w, part)) controls.push_back(std::move(*r));
    std::set<std::array<std::uint8_t, 14>> seen;
    for (int k = 0; k < 14; ++k) {
        for (const auto& f : part.configFields(kPic18ConfigByteNames[k])) {
            if (f.values().size() < 2) continue;
            for (const auto& [setting, value] : f.settings) {
                auto file = defaults;
                file[std::size_t(k)] = std::uint8_t((file[std::size_t(k)] & ~f.mask) | (value & f.mask));
                if (!seen.insert(file).second) continue;
                SCOPED_TRACE(f.name + " " + setting + ": CONFIG" + kPic18ConfigByteNames[k] + " " +
                             hex(file[std::size_t(k)]));
                for (int j = 0; j < 14; ++j) cfg(j) = file[std::size_t(j)];
                open();
                const auto shows = shownStates(*dlg);
                for (const Resolved& c : controls) {
                    if (c.k != k || !(c.field & f.mask)) continue;  // the controls of this setting
                    std::set<int> want;
                    for (const auto& s : c.states)
                        if (c.holds(s, file[std::size_t(c.k)])) want.insert(s.state);
                    if (want.empty() && c.box) continue;  // a box always shows a state
                    if (want.empty()) want.insert(-1);
                    EXPECT_TRUE(want.count(shows.at(c.name))) << c.name << " shows " << shows.at(c.name);
                }
                ok();
                for (int j = 0; j < 14; ++j) {
                    const std::uint8_t got = cfg(j), was = file[std::size_t(j)];
                    std::uint8_t changed = (got ^ was) & settable[std::size_t(j)];
                    std::string by;
                    for (const Resolved& c : controls) {
                        if (c.k != j || !(changed & c.field)) continue;
                        by += " " + c.name;
                        for (const auto& s : c.states)
                            if (c.holds(s, got) && c.holds(s, was)) changed &= std::uint8_t(~c.field);
                    }
                    EXPECT_EQ(hex(changed), hex(0)) << "a look changed CONFIG" << kPic18ConfigByteNames[j] << " from "
                                                    << hex(was) << " to " << hex(got) << ":" << by;
                }
            }
        }
    }
}

void Pic18HeaderCheck::checkControls(const GputilsPart& part) {
    std::array<std::uint8_t, 14> named{}, covered{};
    for (int k = 0; k < 14; ++k) named[std::size_t(k)] = part.configNamed(kPic18ConfigByteNames[k]);

    // The controls a user can reach, as the page opens on the part's defaults.
    const std::vector<QWidget*> controls = shownControls(*dlg, true);
    EXPECT_GT(controls.size(), 20u);

    for (QWidget* w : controls) {
        SCOPED_TRACE(w->objectName().toStdString());
        const auto r = resolve(w, part);
        if (!r) continue;
        const std::string& name = r->name;
        const int k = r->k;
        const std::uint8_t field = r->field;
        covered[std::size_t(k)] |= field;
        const std::uint8_t others = named[std::size_t(k)] & ~field & ~findRef(name)->also;
        for (const std::uint8_t base : {named[std::size_t(k)], std::uint8_t(0x00)}) {
            for (const Resolved::State& s : r->states) {
                cfg(k) = base;
                setState(name.c_str(), s.state);
                const std::uint8_t got = cfg(k);
                EXPECT_TRUE(r->holds(s, got)) << "\"" << s.label << "\" writes " << hex(got & field) << " in CONFIG"
                                              << kPic18ConfigByteNames[k] << ", the part's setting is "
                                              << hex(s.value & field);
                EXPECT_EQ(got & others, base & others)
                    << "\"" << s.label << "\" changes other settings of CONFIG" << kPic18ConfigByteNames[k];
            }
        }
    }
    for (int k = 0; k < 14; ++k) {
        const std::uint8_t settable = part.configSettable(kPic18ConfigByteNames[k]);
        EXPECT_EQ(settable & ~covered[std::size_t(k)], 0)
            << "bits of CONFIG" << kPic18ConfigByteNames[k] << " no control sets";
    }
}

TEST_F(Pic18HeaderCheck, EveryControlWritesTheSettingItShows) {
    int parts = 0;
    for (const Part& p : pic18Parts()) {
        SCOPED_TRACE(p.rec.Name);
        const auto part = readGputilsPart(p.rec.Name);
        ASSERT_TRUE(part);
        select(p.rec);
        if (!config::picOpening(p.rec, st.buf.size()).set) {
            ADD_FAILURE() << "no configuration page";
            continue;
        }
        open();
        checkControls(*part);
        ++parts;
    }
    EXPECT_GE(parts, 14);
}

// A look at the pages, closed with OK, changes no setting a file asked for.
TEST_F(Pic18HeaderCheck, ALookAtThePagesKeepsEverySettingOfItsPart) {
    for (const Part& p : pic18Parts()) {
        SCOPED_TRACE(p.rec.Name);
        const auto part = readGputilsPart(p.rec.Name);
        ASSERT_TRUE(part);
        checkLooks(p.rec, *part);
    }
}
