#pragma once
// The configuration dialogs are tables: one row per control, saying where
// the control sits, what it shows, which value it edits and which bits. One
// binder in the forms layer builds the widgets from the rows, sets each
// control from its value when a page opens and runs every change of a
// control's state (a click, or a setting from code) through its row.
//
// Plain rows need nothing more: a check box writes its bit, a list its item
// into its field, each click keeping the bits of the keep mask and clearing
// the rest. A control whose bits are not plain (fixed protection patterns,
// remapped items, interlocks, captions that follow the state) names a Rule:
// a small set of functions written next to the table that uses it.
//
// Adding controls to a page: append rows to the table of its page group,
// parents before their children; the binder does the rest. Adding a rule:
// write its functions in the same file as the rows, make a `const Rule`
// constant of them and point the rows at it. Rules reach the values and the
// other controls only through PageContext, so every value access is checked
// by the binder and a rule never sees a widget.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "app/AppState.h"
#include "config/PicPlaces.h"
#include "devices/DeviceRecord.h"

namespace tesmar::config {

// A sheet of either dialog's page control, by its index there; kFrame for
// the controls of the dialog itself (the PIC dialog's ID groups and hex labels).
struct SheetRef {
    int index = -1;
    constexpr SheetRef() = default;
    template <class E>
        requires std::is_enum_v<E>
    constexpr SheetRef(E sheet) : index(int(sheet)) {}
    friend constexpr bool operator==(SheetRef, SheetRef) = default;
};
inline constexpr SheetRef kFrame{};

// The configuration values the microcontroller, serial and flash pages edit.
enum class ConfigGlobal {
    SerialFlashStatus, SdpEnable, FuseLow, FuseHigh, FuseExt, LockBits, SecurityByte,
    CalibrationIndex, CalibrationValue, ProgramCalibration,
};
std::uint8_t& configGlobal(McuConfig& mcu, ConfigGlobal g);

// What a control edits: a configuration value, or a byte of the PIC areas of
// the image (configuration byte k of the device's layout, or ID byte n as
// the dialog numbers them). Where a byte lies is the layout's business
// (PicPlaces); a target that has no place, or lies outside the buffer, is
// never read or written.
struct Target {
    enum class Kind : std::uint8_t { None, Global, ConfigByte, IdByte };
    Kind kind = Kind::None;
    std::uint8_t index = 0;

    constexpr Target() = default;
    constexpr Target(ConfigGlobal g) : kind(Kind::Global), index(std::uint8_t(g)) {}
    static constexpr Target config(int k) { return Target(Kind::ConfigByte, k); }
    static constexpr Target id(int n) { return Target(Kind::IdByte, n); }
    ConfigGlobal global() const { return ConfigGlobal(index); }
    friend constexpr bool operator==(Target, Target) = default;

private:
    constexpr Target(Kind k, int i) : kind(k), index(std::uint8_t(i)) {}
};

enum class ControlKind { GroupBox, CheckBox, RadioGroup, ComboBox, Edit, Label, RadioButton, Memo };

// Row geometry: x = y = 0 lets the binder place the control below the one
// before it in the same parent (a new column when the sheet is full, or
// when x is kNewColumn); width or height 0 takes the control's own size.
inline constexpr int kNewColumn = -1;

struct Rule;

struct ControlRow {
    SheetRef sheet;
    const char* name;
    const char* parent;  // nullptr: on the sheet (or the dialog) itself
    ControlKind kind;
    const char* caption;
    int x, y, width, height;
    Target target;
    std::uint8_t mask;   // the bits the control shows and writes
    std::uint8_t keep;   // the bits a write leaves as they were; the rest become 0
    bool sense;          // check box: checked when its bits are set
    std::vector<const char*> items;  // lists: the items of the form (may be rebuilt)
    const Rule* rule = nullptr;      // nullptr: plain bits
    int initialItem = -1;            // lists: the item chosen before the page shows its value
    int columns = 0;                 // radio groups: item columns; 0 lets the group choose
};

// What a rule may do: read and write the values (every access checked by
// the binder), and look at and change the other controls of its dialog by
// name. Setting a control's state runs that control's row, as a click does,
// whenever the state changes; unknown names are ignored.
class PageContext {
public:
    virtual ~PageContext() = default;

    virtual const DeviceRecord& device() const = 0;
    virtual McuConfig& mcu() = 0;
    // The PIC dialog's code-protection selector of the 12-bit pages, kept for the dialog's run.
    virtual std::uint32_t& PicConfigMask() = 0;

    // Whether the target has a place inside the buffer (globals always do).
    virtual bool reachable(Target t) const = 0;
    // 0 for a target that is not reachable; writing one does nothing.
    virtual std::uint8_t value(Target t) const = 0;
    virtual void setValue(Target t, std::uint8_t v) = 0;

    virtual bool checked(std::string_view name) const = 0;
    virtual void setChecked(std::string_view name, bool on) = 0;
    virtual int itemIndex(std::string_view name) const = 0;  // -1: none
    virtual void setItemIndex(std::string_view name, int index) = 0;
    virtual int itemCount(std::string_view name) const = 0;
    // New items, none chosen; the rebuild itself runs no row.
    virtual void setItems(std::string_view name, const std::vector<std::string>& items) = 0;
    virtual void setItemEnabled(std::string_view name, int index, bool on) = 0;
    // The caption of a box or group, the text of an edit, label or memo.
    virtual std::string text(std::string_view name) const = 0;
    virtual void setText(std::string_view name, const std::string& text) = 0;
    virtual void setVisible(std::string_view name, bool on) = 0;
    virtual void setEnabled(std::string_view name, bool on) = 0;
    virtual void move(std::string_view name, int x, int y) = 0;
    // A line for the user in the dialog (a refused entry, a record the page cannot serve).
    virtual void say(const std::string& line) = 0;
};

// The values half of a page context, over the program's state: the device,
// the microcontroller globals, and the ID and configuration bytes of the PIC
// image where the dialog places them. The window binder and the headless
// driver of the fuzz targets add the controls.
class StateContext : public PageContext {
public:
    explicit StateContext(AppState& st) : st_(st) {}

    const DeviceRecord& device() const override { return st_.dev() ? *st_.dev() : none_; }
    McuConfig& mcu() override { return st_.mcu; }
    std::uint32_t& PicConfigMask() override { return PicConfigMask_; }
    bool reachable(Target t) const override;
    std::uint8_t value(Target t) const override;
    // Stores the value where the target lies, then lets what displays it
    // follow; while the values are held, stores nothing.
    void setValue(Target t, std::uint8_t v) override;
    // A page that opens sets its controls from the values, and each control
    // set runs its row as a click would. What those rows write back is nobody's
    // choice, so the opening holds the values: a look changes no setting.
    void holdValues(bool held) { held_ = held; }
    // The PIC dialog: where the ID and configuration targets lie.
    void setPlaces(const PicPlaces& places) { places_ = places; }

protected:
    // Where an ID or configuration target lies, when the image holds it.
    std::optional<std::size_t> imagePlace(Target t) const;
    // Before a value is stored: the image offset, or none for a global.
    virtual void storing(Target, std::optional<std::size_t>) {}
    // After a value changed: the controls that display it show it again.
    virtual void showValue(Target t) = 0;

    AppState& st_;

private:
    std::optional<PicPlaces> places_;
    std::uint32_t PicConfigMask_ = 0;
    bool held_ = false;
    DeviceRecord none_;
};

// The functions of a rule; any left null does what a plain row does.
struct Rule {
    // The state a page shows when it opens: a box 0 or 1, a list its item or
    // -1 for none, a radio button 1 to choose it; nullopt leaves the control as it is.
    std::optional<int> (*decode)(PageContext& ctx, const ControlRow& row) = nullptr;
    // A change of the control's state: a box 0/1, a list its item (never -1),
    // a radio button 1, an edit 0 (its text through ctx.text).
    void (*click)(PageContext& ctx, const ControlRow& row, int state) = nullptr;
    // The text an edit, label or memo shows for the values.
    std::string (*display)(const PageContext& ctx, const ControlRow& row) = nullptr;
};

// The plain behaviour, for rules that add to it.
std::optional<int> plainDecode(PageContext& ctx, const ControlRow& row);
void plainClick(PageContext& ctx, const ControlRow& row, int state);
std::string plainDisplay(const PageContext& ctx, const ControlRow& row);

// A plain box that also runs `follow` with its checked state when the page
// opens and on every click (a caption that names the state, a group the box
// enables).
using StateFollower = void (*)(PageContext& ctx, const ControlRow& row, bool checked);
template <StateFollower follow>
constexpr Rule followsState() {
    return {[](PageContext& ctx, const ControlRow& row) -> std::optional<int> {
                const auto state = plainDecode(ctx, row);
                follow(ctx, row, state.value_or(0) != 0);
                return state;
            },
            [](PageContext& ctx, const ControlRow& row, int state) {
                plainClick(ctx, row, state);
                follow(ctx, row, state != 0);
            }};
}

// The bits of a plain row.
bool rowChecked(const ControlRow& row, std::uint8_t value);
std::uint8_t writeChecked(const ControlRow& row, std::uint8_t value, bool checked);
// The item for the value's field, or -1 when the field is beyond the `itemCount` items.
int rowItem(const ControlRow& row, std::uint8_t value, int itemCount);
std::uint8_t writeItem(const ControlRow& row, std::uint8_t value, int index);
// The field of `value` under the row's mask, shifted down.
int fieldOf(const ControlRow& row, std::uint8_t value);

// Character i of the device name, or '\0' past its end: pages that choose
// by a character of the name never read beyond a short one.
char nameAt(const DeviceRecord& d, std::size_t i);

// Two upper-case hex digits.
std::string hex2(std::uint8_t v);
// A hexadecimal entry as the dialogs take it (a "$" number of at most 32
// bits); nullopt for an empty or malformed text.
std::optional<std::uint32_t> parseHexEntry(std::string_view text);
// What the dialogs say about an entry that is not a number.
std::string badNumberLine(std::string_view text);

// Row makers for the tables: a check box on bit `bit`, a list on the bits
// of `mask`, a group box, a label; placed by the binder unless moved with `at`.
ControlRow checkBox(SheetRef sheet, const char* name, const char* caption, Target t, int bit, std::uint8_t keep,
                    const Rule* rule = nullptr, const char* parent = nullptr);
// A check box on `bit` of `t` that keeps every other bit.
ControlRow box(SheetRef sheet, const char* name, const char* caption, Target t, int bit, const Rule* rule = nullptr,
               const char* parent = nullptr);
ControlRow radioGroup(SheetRef sheet, const char* name, const char* caption, Target t, std::uint8_t mask,
                      std::uint8_t keep, std::vector<const char*> items, const Rule* rule = nullptr,
                      const char* parent = nullptr);
ControlRow groupBox(SheetRef sheet, const char* name, const char* caption, const char* parent = nullptr);
ControlRow label(SheetRef sheet, const char* name, const char* caption);
ControlRow at(int x, int y, int width, int height, ControlRow row);
ControlRow newColumn(ControlRow row);
// A radio group whose items take `n` columns.
ControlRow inColumns(int n, ControlRow row);
// A box checked while its bit is 0 (a protection or enable bit the part
// programs to 0).
ControlRow checkedWhenClear(ControlRow row);

}  // namespace tesmar::config
