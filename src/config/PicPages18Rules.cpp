#include "config/PicPages18Rules.h"

#include <string_view>
#include <utility>

namespace tesmar::config::pic18 {

namespace {

void protectClick(PageContext& ctx, const ControlRow& row, int state) {
    const std::uint8_t v = ctx.value(row.target);
    ctx.setValue(row.target, state ? std::uint8_t(v & row.keep) : std::uint8_t(v | row.mask));
}

// The group each enabling box switches.
constexpr std::pair<std::string_view, const char*> kEnabled[] = {
    {"CB27_Wdt", "RG27_Wdt"}, {"CB27_Boren", "RG27_Bor"}, {"CB34_Wdt", "RG34_Wdt"},
    {"CB34_Boren", "RG34_Bor"}, {"CB36_Wdt", "RG36_Wdt"},
};

void enableGroupOf(PageContext& ctx, const ControlRow& row, bool on) {
    for (const auto& [box, group] : kEnabled)
        if (box == row.name) ctx.setEnabled(group, on);
}

}  // namespace

const Rule kProtect{nullptr, protectClick};
constinit const Rule kEnables = followsState<enableGroupOf>();

std::vector<const char*> brownOutVolts() { return {"4.5V", "4.2V", "2.7V", "2.0V"}; }

std::vector<const char*> postscalerItems(int n) {
    static const char* const all[] = {"1:1",   "1:2",   "1:4",    "1:8",    "1:16",   "1:32",   "1:64",    "1:128",
                                      "1:256", "1:512", "1:1024", "1:2048", "1:4096", "1:8192", "1:16384", "1:32768"};
    return std::vector<const char*>(all, all + n);
}

ControlRow protectBox(SheetRef sheet, const char* name, const char* caption, Target t, int bit, std::uint8_t keep,
                      const char* parent) {
    ControlRow r = checkBox(sheet, name, caption, t, bit, keep, &kProtect, parent);
    r.sense = false;
    return r;
}

ControlRow ebtrbBox(SheetRef sheet, const char* name, const char* caption, const char* parent, bool orOnUncheck) {
    ControlRow r = checkBox(sheet, name, caption, kConfig7H, 6, 0x00, orOnUncheck ? &kProtect : nullptr, parent);
    r.sense = false;
    return r;
}

void addRangeBoxes(std::vector<ControlRow>& rows, SheetRef sheet, const char* const* names,
                   const char* const* captions, Target t, int n, const char* parent, const std::uint8_t* keeps) {
    for (int i = 0; i < n; ++i) rows.push_back(protectBox(sheet, names[i], captions[i], t, i, keeps[i], parent));
}

void addProtectionGroups(std::vector<ControlRow>& rows, SheetRef sheet, const ProtectionNames& n, int blocks,
                         bool trbOrOnUncheck) {
    static const char* const cp[] = {"CP0 protected", "CP1 protected", "CP2 protected",
                                     "CP3 protected", "CP4 protected", "CP5 protected"};
    static const char* const wrt[] = {"WRT0 protected", "WRT1 protected", "WRT2 protected",
                                      "WRT3 protected", "WRT4 protected", "WRT5 protected"};
    static const char* const tr[] = {"EBTR0 protected", "EBTR1 protected", "EBTR2 protected",
                                     "EBTR3 protected", "EBTR4 protected", "EBTR5 protected"};
    const std::uint8_t* keeps = blocks > 4 ? kProtectMasks6 : kProtectMasks4;
    rows.push_back(groupBox(sheet, n.codeGroup, " Code Protection "));
    rows.push_back(protectBox(sheet, n.cpb, "CPB protected", kConfig5H, 6, 0x80, n.codeGroup));
    rows.push_back(protectBox(sheet, n.cpd, "CPD protected", kConfig5H, 7, 0x40, n.codeGroup));
    addRangeBoxes(rows, sheet, n.cp, cp, kConfig5L, blocks, n.codeGroup, keeps);
    rows.push_back(newColumn(groupBox(sheet, n.writeGroup, " Table Write Protection ")));
    rows.push_back(protectBox(sheet, n.wrtb, "WRTB protected", kConfig6H, 6, 0xA0, n.writeGroup));
    rows.push_back(protectBox(sheet, n.wrtc, "WRTC protected", kConfig6H, 5, 0xC0, n.writeGroup));
    rows.push_back(protectBox(sheet, n.wrtd, "WRTD protected", kConfig6H, 7, 0x60, n.writeGroup));
    addRangeBoxes(rows, sheet, n.wrt, wrt, kConfig6L, blocks, n.writeGroup, keeps);
    rows.push_back(newColumn(groupBox(sheet, n.readGroup, " Table Read Protection ")));
    rows.push_back(ebtrbBox(sheet, n.trb, "EBTRB protected", n.readGroup, trbOrOnUncheck));
    addRangeBoxes(rows, sheet, n.tr, tr, kConfig7L, blocks, n.readGroup, keeps);
}

}  // namespace tesmar::config::pic18
