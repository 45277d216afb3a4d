#pragma once
// What the PIC18 page files share: the protection boxes (checked means
// protected, a bit value of 0), the boxes that enable another group, and the
// item lists several sets use.
#include <vector>

#include "config/PicPages.h"

namespace tesmar::config::pic18 {

// Protection box of the Page27, Page34 and Page36 sets: checked keeps only
// the byte's implemented protection bits less this one (the row's keep
// mask), unchecked sets the bit and keeps the rest.
extern const Rule kProtect;
// A box that enables the group it belongs with (the watchdog postscaler,
// the brown-out voltage) when checked, on opening and on each click.
extern const Rule kEnables;

std::vector<const char*> brownOutVolts();
// "1:1" .. "1:2^(n-1)".
std::vector<const char*> postscalerItems(int n);

ControlRow protectBox(SheetRef sheet, const char* name, const char* caption, Target t, int bit, std::uint8_t keep,
                      const char* parent);
// The boot-block table-read box in CONFIG7H bit 6: `orOnUncheck` false sets
// the whole byte to 0x40 when unchecked, true only its bit; checked clears the byte.
ControlRow ebtrbBox(SheetRef sheet, const char* name, const char* caption, const char* parent, bool orOnUncheck);

// Protection boxes of the first `n` blocks in `t` bits 0.., with the keep
// masks of the block protection bits of a 4- or 6-block part.
inline constexpr std::uint8_t kProtectMasks4[] = {0x0E, 0x0D, 0x0B, 0x07};
inline constexpr std::uint8_t kProtectMasks6[] = {0x3E, 0x3D, 0x3B, 0x37, 0x2F, 0x1F};
void addRangeBoxes(std::vector<ControlRow>& rows, SheetRef sheet, const char* const* names,
                   const char* const* captions, Target t, int n, const char* parent,
                   const std::uint8_t* keeps = kProtectMasks4);

// The three protection groups of the Page34 and Page36 sets ("CPB
// protected", "CP0 protected" ...), named CB<set>_Cpb, CB<set>_Cp0 and so on.
struct ProtectionNames {
    const char *codeGroup, *writeGroup, *readGroup;
    const char *cpb, *cpd, *wrtb, *wrtc, *wrtd, *trb;
    const char* cp[6];
    const char* wrt[6];
    const char* tr[6];
};
void addProtectionGroups(std::vector<ControlRow>& rows, SheetRef sheet, const ProtectionNames& names, int blocks,
                         bool trbOrOnUncheck);

}  // namespace tesmar::config::pic18
