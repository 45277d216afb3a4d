#include "config/PicPages.h"

#include <algorithm>

namespace tesmar::config {

const std::array<const char*, kPicSheetCount> kPicSheetNames = {
    "Page0",   "Page1",   "Page2",   "Page3",   "Page4",   "Page4A",  "Page5",   "Page6",   "Page7",   "Page8",
    "Page9",   "Page10",  "Page10A", "Page12",  "Page15",  "Page16",  "Page17",  "Page20",  "Page21",  "Page22",
    "Page23",  "Page24",  "Page27",  "Page27A", "Page27B", "Page29",  "Page30",  "Page31",  "Page32",  "Page33",
    "Page33A", "Page34",  "Page34A", "Page34B", "Page36",  "Page36A", "Page36B", "Page36C", "Page38",  "Page38A",
    "Page38B", "Page38C", "Page38D", "Page40",  "Page46",  "Page46A",
};

// ---- ID entry ------------------------------------------------------------------

namespace {

constexpr std::uint8_t kTwelveBitIdPage = 19;

bool pic18(const PageContext& ctx) { return ctx.device().Algorithm == 18; }

// The ID bits a classic part shows; entry sets the others.
std::uint8_t classicIdBits(const PageContext& ctx) { return ctx.device().PageCode == kTwelveBitIdPage ? 0x0F : 0x7F; }

// The number in the edit, or nullopt after saying why the byte stays.
std::optional<std::uint32_t> idEntry(PageContext& ctx, const ControlRow& row) {
    const std::string text = ctx.text(row.name);
    const auto v = parseHexEntry(text);
    ctx.say(v ? std::string() : badNumberLine(text));
    return v;
}

std::string classicIdDisplay(const PageContext& ctx, const ControlRow& row) {
    return hex2(std::uint8_t(ctx.value(row.target) & classicIdBits(ctx)));
}

void classicIdClick(PageContext& ctx, const ControlRow& row, int) {
    if (pic18(ctx)) return;
    if (const auto v = idEntry(ctx, row))
        ctx.setValue(row.target, std::uint8_t(*v | std::uint8_t(~classicIdBits(ctx))));
}

std::string pic18IdDisplay(const PageContext& ctx, const ControlRow& row) { return hex2(ctx.value(row.target)); }

void pic18IdClick(PageContext& ctx, const ControlRow& row, int) {
    if (!pic18(ctx)) return;
    if (const auto v = idEntry(ctx, row)) ctx.setValue(row.target, std::uint8_t(*v));
}

void deviceMaskedClick(PageContext& ctx, const ControlRow& row, int state) {
    const int k = row.target.index;
    const std::uint8_t m = k < kPicConfigMaskBytes ? ctx.device().ConfigMasks[std::size_t(k)] : 0xFF;
    ControlRow masked = row;
    masked.keep = std::uint8_t(row.keep & m);
    plainClick(ctx, masked, state);
}

}  // namespace

const Rule kClassicId{nullptr, classicIdClick, classicIdDisplay};
const Rule kPic18Id{nullptr, pic18IdClick, pic18IdDisplay};
const Rule kDeviceMasked{nullptr, deviceMaskedClick};

// ---- The dialog's own controls ---------------------------------------------------

namespace {

using K = ControlKind;

constexpr int kLabelRowY = 434;

ControlRow idEdit(const char* name, const char* parent, int n, int y, const Rule* rule) {
    return {kFrame, name, parent, K::Edit, "", 40, y, 52, 22, Target::id(n), 0xFF, 0x00, true, {}, rule};
}

ControlRow idLabel(const char* name, const char* parent, const char* caption, int y) {
    return {kFrame, name, parent, K::Label, caption, 10, y + 3, 28, 16, {}, 0, 0xFF, true, {}};
}

ControlRow hexLabel(const char* name, int k) {
    return {kFrame, name, nullptr, K::Label, "", 8 + 40 * k, kLabelRowY, 30, 18, Target::config(k), 0xFF, 0x00,
            true, {}};
}

std::vector<ControlRow> frameRows() {
    std::vector<ControlRow> rows = {
        {kFrame, "GB_ID", nullptr, K::GroupBox, " ID ", 369, 32, 104, 136, {}, 0, 0xFF, true, {}},
        {kFrame, "GB_18F", nullptr, K::GroupBox, " ID ", 369, 32, 104, 248, {}, 0, 0xFF, true, {}},
    };
    static const char* const classic[] = {"ID_0", "ID1", "ID2", "ID3"};
    static const char* const classicLabels[] = {"LabelId0", "LabelId1", "LabelId2", "LabelId3"};
    static const char* const captions[] = {"ID0", "ID1", "ID2", "ID3", "ID4", "ID5", "ID6", "ID7"};
    for (int n = 0; n < 4; ++n) {
        rows.push_back(idLabel(classicLabels[n], "GB_ID", captions[n], 22 + 28 * n));
        rows.push_back(idEdit(classic[n], "GB_ID", n, 22 + 28 * n, &kClassicId));
    }
    static const char* const pic18[] = {"ID270", "ID271", "ID272", "ID273", "ID274", "ID275", "ID276", "ID277"};
    static const char* const pic18Labels[] = {"LabelId270", "LabelId271", "LabelId272", "LabelId273",
                                              "LabelId274", "LabelId275", "LabelId276", "LabelId277"};
    for (int n = 0; n < 8; ++n) {
        rows.push_back(idLabel(pic18Labels[n], "GB_18F", captions[n], 22 + 28 * n));
        rows.push_back(idEdit(pic18[n], "GB_18F", n, 22 + 28 * n, &kPic18Id));
    }
    static const char* const labels[] = {"Label13", "Label14", "Label15", "Label16", "Label17", "Label18", "Label19",
                                         "Label20", "Label21", "Label22", "Label23", "Label24", "Label25", "Label26"};
    for (int k = 0; k < 14; ++k) rows.push_back(hexLabel(labels[k], k));
    return rows;
}

const std::vector<const PicPageSet*>& allSets() {
    static const std::vector<const PicPageSet*> sets = [] {
        std::vector<const PicPageSet*> out;
        for (auto group : {classicPageSets(), twoWordPageSets(), pic18PageSets(), pic18NewPageSets()})
            for (const PicPageSet& s : group) out.push_back(&s);
        return out;
    }();
    return sets;
}

const char* layoutName(PicLayout l) {
    switch (l) {
    case PicLayout::Classic: return "12/14-bit";
    case PicLayout::Enhanced: return "enhanced mid-range";
    case PicLayout::Pic18: return "PIC18";
    }
    return "";
}

}  // namespace

std::span<const ControlRow> picControlRows() {
    static const std::vector<ControlRow> rows = [] {
        std::vector<ControlRow> out = frameRows();
        for (auto group : {classicRows(), twoWordRows(), pic18Rows(), pic18NewRows()})
            out.insert(out.end(), group.begin(), group.end());
        return out;
    }();
    return rows;
}

const ControlRow* findPicRow(std::string_view name) {
    for (const ControlRow& r : picControlRows())
        if (name == r.name) return &r;
    return nullptr;
}

const PicPageSet* picPageSet(std::uint8_t pageCode) {
    for (const PicPageSet* s : allSets())
        if (std::find(s->codes.begin(), s->codes.end(), pageCode) != s->codes.end()) return s;
    return nullptr;
}

bool picSheetBuilt(PicSheet sheet) {
    const auto rows = picControlRows();
    return std::any_of(rows.begin(), rows.end(), [sheet](const ControlRow& r) { return r.sheet == SheetRef(sheet); });
}

int picSheetFlowLeft(PicSheet sheet) {
    for (const PicPageSet* s : allSets())
        if (s->sheets.front() == sheet) return kIdGroupRight;
    return 8;
}

namespace {

// The configuration bytes the rows of a set edit.
int setConfigBytes(const PicPageSet& set) {
    int n = 0;
    for (const ControlRow& r : picControlRows())
        if (r.target.kind == Target::Kind::ConfigByte &&
            std::find(set.sheets.begin(), set.sheets.end(), PicSheet(r.sheet.index)) != set.sheets.end())
            n = std::max(n, r.target.index + 1);
    return n;
}

}  // namespace

PicOpening picOpening(const DeviceRecord& rec, std::size_t bufferSize) {
    const PicPageSet* set = picPageSet(rec.PageCode);
    if (!set) return {};
    const PicPlaces places = picPlaces(rec);
    const std::string code = "Page code " + std::to_string(rec.PageCode);
    if (set->layout != places.layout)
        return {nullptr, code + " edits the " + layoutName(set->layout) + " configuration, this part has the " +
                             layoutName(places.layout) + " one: no configuration page is shown"};
    if (places.layout != PicLayout::Pic18 && rec.ConfigMaskCount > kPicConfigMaskBytes)
        return {nullptr, "The device record counts " + std::to_string(rec.ConfigMaskCount) +
                             " configuration bytes but holds 16 masks: no configuration page is shown"};
    if (!std::all_of(set->sheets.begin(), set->sheets.end(), picSheetBuilt)) return {};
    const int needed = setConfigBytes(*set);
    if (needed > places.configBytes)
        return {nullptr, code + " edits " + std::to_string(needed) + " configuration bytes, the device record counts " +
                             std::to_string(places.configBytes) + ": no configuration page is shown"};
    const auto last = places.configByte(needed - 1);
    if (needed > 0 && (!last || *last >= bufferSize))
        return {nullptr, "The configuration area lies outside the memory image: no configuration page is shown"};
    return {set, {}};
}

bool picConfigPageBuilt(const DeviceRecord& rec) {
    const PicPageSet* set = picPageSet(rec.PageCode);
    if (!set || set->layout != picPlaces(rec).layout) return true;
    return std::all_of(set->sheets.begin(), set->sheets.end(), picSheetBuilt);
}

std::string applyOpeningMasks(ImageBuffer& buf, const DeviceRecord& rec) {
    const PicPlaces places = picPlaces(rec);
    if (places.layout == PicLayout::Pic18) return {};
    const int count = rec.ConfigMaskCount;
    if (count > kPicConfigMaskBytes)
        return "The device record counts " + std::to_string(count) +
               " configuration bytes but holds 16 masks: the configuration is not masked";
    // In pairs: an odd count masks the byte after the last one too, the
    // other byte of its word.
    for (int i = 0; i < count; i += 2)
        for (int k = i; k < i + 2 && k < kPicConfigMaskBytes; ++k)
            if (const std::size_t at = places.configPlace + std::size_t(k); at < buf.size())
                buf.DeviceBuffer[at] &= rec.ConfigMasks[std::size_t(k)];
    return {};
}

}  // namespace tesmar::config
