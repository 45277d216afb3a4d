#include "common/HeadlessPages.h"

#include <algorithm>
#include <cctype>

#include "common/FuzzRig.h"

#include "config/ConfigPages.h"
#include "config/PicPages.h"

namespace tesmar::fuzz {

using config::ControlKind;
using config::ControlRow;
using config::Target;

namespace {

bool isList(ControlKind k) { return k == ControlKind::RadioGroup || k == ControlKind::ComboBox; }
bool isButton(ControlKind k) { return k == ControlKind::CheckBox || k == ControlKind::RadioButton; }
bool editable(const ControlRow& row) { return row.kind == ControlKind::Edit && row.rule && row.rule->click; }

std::string upper(std::string s) {
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

HeadlessPages::HeadlessPages(AppState& st, std::span<const ControlRow> rows) : StateContext(st) {
    controls_.reserve(rows.size());
    for (const ControlRow& row : rows) {
        Control c;
        c.row = &row;
        if (row.parent) {
            const auto it = byName_.find(row.parent);
            if (it == byName_.end()) fail("a control row names a parent no row before it has");
            c.parent = int(it->second);
        }
        // A new widget: a list holds the form's items and its first choice.
        if (isList(row.kind)) {
            for (const char* item : row.items) c.items.emplace_back(item);
            c.itemEnabled.assign(c.items.size(), true);
            c.index = row.initialItem >= 0 && row.initialItem < int(c.items.size()) ? row.initialItem : -1;
        }
        if (row.kind != ControlKind::ComboBox) c.text = row.caption ? row.caption : "";
        if (row.kind == ControlKind::Memo) {
            c.text.clear();
            for (std::size_t i = 0; i < row.items.size(); ++i) c.text += (i ? "\n" : "") + std::string(row.items[i]);
        }
        if (!byName_.emplace(row.name, controls_.size()).second) fail("two control rows share a name");
        const std::size_t i = controls_.size();
        if (isButton(row.kind) || isList(row.kind) || editable(row))
            operable_[row.sheet == config::kFrame ? -1 : row.sheet.index].push_back(i);
        if (row.target.kind != Target::Kind::None) byTarget_[targetKey(row.target)].push_back(i);
        controls_.push_back(std::move(c));
    }
}

void HeadlessPages::setUpperCase(const std::vector<std::string>& names) {
    for (const std::string& n : names)
        if (Control* c = find(n)) c->upperCase = true;
}

HeadlessPages::Control* HeadlessPages::find(std::string_view name) {
    const auto it = byName_.find(name);
    return it == byName_.end() ? nullptr : &controls_[it->second];
}

const HeadlessPages::Control* HeadlessPages::find(std::string_view name) const {
    const auto it = byName_.find(name);
    return it == byName_.end() ? nullptr : &controls_[it->second];
}

bool HeadlessPages::onShownSheet(const ControlRow& row) const {
    return row.sheet == config::kFrame || std::find(shown_.begin(), shown_.end(), row.sheet.index) != shown_.end();
}

bool HeadlessPages::isDisplay(const ControlRow& row) const {
    if (row.target.kind == Target::Kind::None) return false;
    if (row.kind == ControlKind::Label || row.kind == ControlKind::Memo) return true;
    return row.kind == ControlKind::Edit && !editable(row);
}

bool HeadlessPages::visibleTo(const Control& c) const {
    for (const Control* p = &c;; p = &controls_[std::size_t(p->parent)]) {
        if (p->hidden) return false;
        if (p->parent < 0) return true;
    }
}

bool HeadlessPages::enabledUp(const Control& c) const {
    for (const Control* p = &c;; p = &controls_[std::size_t(p->parent)]) {
        if (!p->enabled) return false;
        if (p->parent < 0) return true;
    }
}

// ---------------------------------------------------------------- changes

void HeadlessPages::changed(const ControlRow& row, int state) {
    if (isList(row.kind) && state < 0) return;
    ++rowsRun;
    if (row.rule && row.rule->click) row.rule->click(*this, row, state);
    else config::plainClick(*this, row, state);
}

void HeadlessPages::check(Control& c, bool on) {
    if (c.checked == on) return;
    if (c.row->kind == ControlKind::RadioButton) {
        // Radio buttons that share a parent exclude each other: a checked one
        // cannot be unchecked, only replaced, and only the one checked runs its row.
        std::vector<Control*> siblings;
        for (Control& o : controls_)
            if (&o != &c && o.row->kind == ControlKind::RadioButton && o.parent == c.parent &&
                o.row->sheet == c.row->sheet)
                siblings.push_back(&o);
        if (!on) {
            if (!siblings.empty()) return;
            c.checked = false;
            return;
        }
        for (Control* o : siblings) o->checked = false;
        c.checked = true;
        changed(*c.row, 1);
        return;
    }
    c.checked = on;
    changed(*c.row, on ? 1 : 0);
}

void HeadlessPages::chooseItem(Control& c, int index, bool quiet) {
    if (index < 0 || index >= int(c.items.size())) index = -1;
    if (index == c.index) return;
    c.index = index;
    if (!quiet) changed(*c.row, index);
}

void HeadlessPages::putText(Control& c, std::string text) {
    if (c.upperCase) text = upper(std::move(text));
    if (text == c.text) return;
    c.text = std::move(text);
    if (editable(*c.row)) changed(*c.row, 0);
}

void HeadlessPages::apply(Control& c) {
    const ControlRow& row = *c.row;
    if (row.kind == ControlKind::Edit) {
        const auto display = row.rule && row.rule->display ? row.rule->display : config::plainDisplay;
        putText(c, display(*this, row));
        return;
    }
    const auto decode = row.rule && row.rule->decode ? row.rule->decode : config::plainDecode;
    const std::optional<int> state = decode(*this, row);
    if (!state) return;
    switch (row.kind) {
    case ControlKind::CheckBox: check(c, *state != 0); break;
    case ControlKind::RadioGroup: chooseItem(c, *state, false); break;
    case ControlKind::ComboBox: chooseItem(c, *state, true); break;  // shown, not written back
    case ControlKind::RadioButton:
        if (*state) check(c, true);
        break;
    default: break;
    }
}

void HeadlessPages::showSheets(const std::vector<int>& sheets, const std::vector<std::string>&) {
    shown_ = sheets;
    current_ = sheets.empty() ? -1 : sheets.front();
}

void HeadlessPages::decodeAll() {
    for (Control& c : controls_) {
        if (!onShownSheet(*c.row) || isDisplay(*c.row) || !visibleTo(c)) continue;
        apply(c);
    }
}

void HeadlessPages::refreshDisplays() {
    for (Control& c : controls_) {
        const ControlRow& row = *c.row;
        if (!isDisplay(row) || !onShownSheet(row)) continue;
        if (row.sheet == config::kFrame && !visibleTo(c)) continue;
        const auto display = row.rule && row.rule->display ? row.rule->display : config::plainDisplay;
        putText(c, display(*this, row));
    }
}

// ---------------------------------------------------------------- values

void HeadlessPages::storing(Target t, std::optional<std::size_t> at) {
    if (at) {
        if (onImageWrite) onImageWrite(*at);
    } else if (onGlobalWrite) {
        onGlobalWrite(t.global());
    }
}

void HeadlessPages::showValue(Target t) {
    const auto displays = byTarget_.find(targetKey(t));
    if (displays == byTarget_.end()) return;
    for (const std::size_t i : displays->second) {
        Control& c = controls_[i];
        const ControlRow& row = *c.row;
        if (!isDisplay(row) || !onShownSheet(row)) continue;
        if (row.sheet == config::kFrame && !visibleTo(c)) continue;
        const auto display = row.rule && row.rule->display ? row.rule->display : config::plainDisplay;
        putText(c, display(*this, row));
    }
}

// ---------------------------------------------------------------- controls

bool HeadlessPages::checked(std::string_view name) const {
    const Control* c = find(name);
    return c && isButton(c->row->kind) && c->checked;
}

void HeadlessPages::setChecked(std::string_view name, bool on) {
    if (Control* c = find(name); c && isButton(c->row->kind)) check(*c, on);
}

int HeadlessPages::itemIndex(std::string_view name) const {
    const Control* c = find(name);
    return c && isList(c->row->kind) ? c->index : -1;
}

void HeadlessPages::setItemIndex(std::string_view name, int index) {
    if (Control* c = find(name); c && isList(c->row->kind)) chooseItem(*c, index, false);
}

int HeadlessPages::itemCount(std::string_view name) const {
    const Control* c = find(name);
    return c && isList(c->row->kind) ? int(c->items.size()) : 0;
}

void HeadlessPages::setItems(std::string_view name, const std::vector<std::string>& items) {
    Control* c = find(name);
    if (!c || !isList(c->row->kind)) return;
    // New items, none chosen, and nothing runs.
    c->items = items;
    c->itemEnabled.assign(items.size(), true);
    c->index = -1;
}

void HeadlessPages::setItemEnabled(std::string_view name, int index, bool on) {
    Control* c = find(name);
    if (c && c->row->kind == ControlKind::RadioGroup && index >= 0 && index < int(c->items.size()))
        c->itemEnabled[std::size_t(index)] = on;
}

std::string HeadlessPages::text(std::string_view name) const {
    const Control* c = find(name);
    return c && c->row->kind != ControlKind::ComboBox ? c->text : std::string();
}

void HeadlessPages::setText(std::string_view name, const std::string& text) {
    Control* c = find(name);
    if (!c || c->row->kind == ControlKind::ComboBox) return;
    if (c->row->kind == ControlKind::Edit) putText(*c, text);
    else c->text = text;
}

void HeadlessPages::setVisible(std::string_view name, bool on) {
    if (Control* c = find(name)) c->hidden = !on;
}

void HeadlessPages::setEnabled(std::string_view name, bool on) {
    if (Control* c = find(name)) c->enabled = on;
}

std::vector<const ControlRow*> HeadlessPages::shownRows() const {
    std::vector<const ControlRow*> out;
    for (const Control& c : controls_)
        if (c.row->sheet == config::kFrame ? visibleTo(c) : onShownSheet(*c.row)) out.push_back(c.row);
    return out;
}

// ---------------------------------------------------------------- the user

bool HeadlessPages::switchTab(std::uint8_t pick) {
    if (shown_.empty()) return false;
    const int sheet = shown_[pick % shown_.size()];
    if (sheet == current_) return true;
    current_ = sheet;
    if (onTabChange) onTabChange(sheet);
    return true;
}

std::vector<std::size_t> HeadlessPages::reach() const {
    std::vector<std::size_t> out;
    auto add = [this, &out](int sheet) {
        const auto it = operable_.find(sheet);
        if (it == operable_.end()) return;
        for (const std::size_t i : it->second)
            if (visibleTo(controls_[i]) && enabledUp(controls_[i])) out.push_back(i);
    };
    add(-1);  // beside the tabs
    if (current_ >= 0) add(current_);
    return out;
}

std::vector<std::string> HeadlessPages::reachableNames() const {
    std::vector<std::string> out;
    for (const std::size_t i : reach()) out.emplace_back(controls_[i].row->name);
    return out;
}

bool HeadlessPages::act(Script& s) {
    const std::vector<std::size_t> reach = this->reach();
    if (reach.empty()) return false;
    Control& c = controls_[reach[s.byte() % reach.size()]];
    lastAction = {c.row->name, -1, {}};
    switch (c.row->kind) {
    case ControlKind::CheckBox: check(c, !c.checked); break;
    case ControlKind::RadioButton: check(c, true); break;
    case ControlKind::RadioGroup:
    case ControlKind::ComboBox: {
        const std::uint8_t b = s.byte();
        if (c.items.empty()) break;
        const int i = b % int(c.items.size());
        if (c.row->kind == ControlKind::RadioGroup && !c.itemEnabled[std::size_t(i)]) break;
        lastAction.item = i;
        chooseItem(c, i, false);
        break;
    }
    case ControlKind::Edit: {
        // Bit 7 selects the text first, so the first key replaces it; bits
        // 0-2 are the keys, each a change of its own.
        static constexpr char kKeys[] = "0123456789ABCDEFabcdef $x-G";
        const std::uint8_t b = s.byte();
        std::string t = (b & 0x80) ? std::string() : c.text;
        const int keys = b & 7;
        if (keys == 0) {
            lastAction.texts.push_back(t);
            putText(c, t);
        }
        for (int k = 0; k < keys; ++k) {
            t += kKeys[s.byte() % (sizeof kKeys - 1)];
            lastAction.texts.push_back(t);
            putText(c, t);
            t = c.text;
        }
        break;
    }
    default: break;
    }
    return true;
}

// ---------------------------------------------------------------- the dialogs

const std::vector<DeviceRecord>& configPageRecords() {
    static const std::vector<DeviceRecord> records = [] {
        std::vector<DeviceRecord> v;
        for (const DeviceRecord& r : sampleRecords())
            if (r.FamilyLetter == 'C' || (r.FamilyLetter != 'P' && config::hasConfigDialog(r))) v.push_back(r);
        if (v.empty()) fail("no sample record has a configuration page");
        return v;
    }();
    return records;
}

std::unique_ptr<HeadlessPages> openConfigPage(AppState& st) {
    if (!st.dev()) return nullptr;
    auto p = std::make_unique<HeadlessPages>(st, config::controlRows());
    p->setUpperCase({"Edit203", "Edit204A", "CB207_edit"});
    if (config::openMcuDialogPages(*p, st).sheets.empty()) return nullptr;
    return p;
}

std::unique_ptr<HeadlessPages> openPicPage(AppState& st) {
    if (!st.dev()) return nullptr;
    auto p = std::make_unique<HeadlessPages>(st, config::picControlRows());
    const bool idsUsable = config::openPicDialogPages(*p, st).idsUsable;
    // From now on the tab shown decides which ID group shows.
    HeadlessPages& b = *p;
    b.onTabChange = [&b, idsUsable](int sheet) { config::picTabChanged(b, idsUsable, sheet); };
    return p;
}

}  // namespace tesmar::fuzz
