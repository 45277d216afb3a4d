#include "config/ControlRows.h"

#include <bit>
#include <cstdio>

namespace tesmar::config {

std::uint8_t& configGlobal(McuConfig& mcu, ConfigGlobal g) {
    switch (g) {
    case ConfigGlobal::SerialFlashStatus: return mcu.SerialFlashStatus;
    case ConfigGlobal::SdpEnable: return mcu.SdpEnable;
    case ConfigGlobal::FuseLow: return mcu.FuseLow;
    case ConfigGlobal::FuseHigh: return mcu.FuseHigh;
    case ConfigGlobal::FuseExt: return mcu.FuseExt;
    case ConfigGlobal::LockBits: return mcu.LockBits;
    case ConfigGlobal::SecurityByte: return mcu.SecurityByte;
    case ConfigGlobal::CalibrationIndex: return mcu.CalibrationIndex;
    case ConfigGlobal::CalibrationValue: return mcu.CalibrationValue;
    case ConfigGlobal::ProgramCalibration: return mcu.ProgramCalibration;
    }
    return mcu.SerialFlashStatus;
}

namespace {
int fieldShift(std::uint8_t mask) { return mask ? std::countr_zero(unsigned(mask)) : 0; }
bool isList(ControlKind k) { return k == ControlKind::RadioGroup || k == ControlKind::ComboBox; }
}  // namespace

int fieldOf(const ControlRow& row, std::uint8_t value) { return (value & row.mask) >> fieldShift(row.mask); }

bool rowChecked(const ControlRow& row, std::uint8_t value) { return ((value & row.mask) != 0) == row.sense; }

std::uint8_t writeChecked(const ControlRow& row, std::uint8_t value, bool checked) {
    const bool set = checked == row.sense;
    return std::uint8_t((value & row.keep) | (set ? row.mask : 0));
}

int rowItem(const ControlRow& row, std::uint8_t value, int itemCount) {
    const int field = fieldOf(row, value);
    return field < itemCount ? field : -1;
}

std::uint8_t writeItem(const ControlRow& row, std::uint8_t value, int index) {
    const unsigned field = index < 0 ? 0u : unsigned(index);
    return std::uint8_t((value & row.keep) | ((field << fieldShift(row.mask)) & row.mask));
}

std::optional<int> plainDecode(PageContext& ctx, const ControlRow& row) {
    if (row.target.kind == Target::Kind::None) return std::nullopt;
    const std::uint8_t v = ctx.value(row.target);
    if (row.kind == ControlKind::CheckBox) return rowChecked(row, v) ? 1 : 0;
    if (isList(row.kind)) return rowItem(row, v, ctx.itemCount(row.name));
    return std::nullopt;
}

void plainClick(PageContext& ctx, const ControlRow& row, int state) {
    if (row.target.kind == Target::Kind::None) return;
    const std::uint8_t v = ctx.value(row.target);
    if (row.kind == ControlKind::CheckBox) ctx.setValue(row.target, writeChecked(row, v, state != 0));
    else if (isList(row.kind) && state >= 0) ctx.setValue(row.target, writeItem(row, v, state));
}

std::string plainDisplay(const PageContext& ctx, const ControlRow& row) {
    if (row.target.kind == Target::Kind::None) return row.caption ? row.caption : "";
    return hex2(ctx.value(row.target));
}

char nameAt(const DeviceRecord& d, std::size_t i) { return i < d.Name.size() ? d.Name[i] : '\0'; }

std::string hex2(std::uint8_t v) {
    char s[3];
    std::snprintf(s, sizeof s, "%02X", unsigned(v));
    return s;
}

std::optional<std::uint32_t> parseHexEntry(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    std::uint64_t v = 0;
    for (const char c : text) {
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return std::nullopt;
        v = v * 16 + unsigned(d);
        if (v > 0xFFFFFFFFu) return std::nullopt;
    }
    return std::uint32_t(v);
}

std::string badNumberLine(std::string_view text) { return "'$" + std::string(text) + "' is not a valid integer value"; }

ControlRow checkBox(SheetRef sheet, const char* name, const char* caption, Target t, int bit, std::uint8_t keep,
                    const Rule* rule, const char* parent) {
    return {sheet, name, parent, ControlKind::CheckBox, caption, 0, 0, 0, 0, t, std::uint8_t(1u << bit), keep,
            true, {}, rule};
}

ControlRow box(SheetRef sheet, const char* name, const char* caption, Target t, int bit, const Rule* rule,
               const char* parent) {
    return checkBox(sheet, name, caption, t, bit, std::uint8_t(~(1u << bit)), rule, parent);
}

ControlRow radioGroup(SheetRef sheet, const char* name, const char* caption, Target t, std::uint8_t mask,
                      std::uint8_t keep, std::vector<const char*> items, const Rule* rule, const char* parent) {
    return {sheet, name, parent, ControlKind::RadioGroup, caption, 0, 0, 0, 0, t, mask, keep, true, std::move(items),
            rule};
}

ControlRow groupBox(SheetRef sheet, const char* name, const char* caption, const char* parent) {
    return {sheet, name, parent, ControlKind::GroupBox, caption, 0, 0, 0, 0, {}, 0, 0xFF, true, {}, nullptr};
}

ControlRow label(SheetRef sheet, const char* name, const char* caption) {
    return {sheet, name, nullptr, ControlKind::Label, caption, 0, 0, 0, 0, {}, 0, 0xFF, true, {}};
}

ControlRow at(int x, int y, int width, int height, ControlRow row) {
    row.x = x;
    row.y = y;
    row.width = width;
    row.height = height;
    return row;
}

ControlRow newColumn(ControlRow row) {
    row.x = kNewColumn;
    row.y = 0;
    return row;
}

ControlRow inColumns(int n, ControlRow row) {
    row.columns = n;
    return row;
}

ControlRow checkedWhenClear(ControlRow row) {
    row.sense = false;
    return row;
}

std::optional<std::size_t> StateContext::imagePlace(Target t) const {
    if (!places_) return std::nullopt;
    std::optional<std::size_t> at;
    if (t.kind == Target::Kind::ConfigByte) at = places_->configByte(t.index);
    else if (t.kind == Target::Kind::IdByte) at = places_->idByte(t.index);
    if (!at || *at >= st_.buf.size()) return std::nullopt;
    return at;
}

bool StateContext::reachable(Target t) const { return t.kind == Target::Kind::Global || imagePlace(t).has_value(); }

std::uint8_t StateContext::value(Target t) const {
    if (t.kind == Target::Kind::Global) return configGlobal(st_.mcu, t.global());
    const auto at = imagePlace(t);
    return at ? st_.buf.DeviceBuffer[*at] : 0;
}

void StateContext::setValue(Target t, std::uint8_t v) {
    if (held_) return;
    if (t.kind == Target::Kind::Global) {
        storing(t, std::nullopt);
        configGlobal(st_.mcu, t.global()) = v;
    } else if (const auto at = imagePlace(t)) {
        storing(t, at);
        st_.buf.BufferCursor = *at;
        st_.buf.DeviceBuffer[*at] = v;
    } else {
        return;
    }
    showValue(t);
}

}  // namespace tesmar::config
