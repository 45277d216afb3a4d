#pragma once
// The configuration dialogs without windows: a PageContext that keeps each
// control's state (checked, item, items, text, shown, enabled) the way the
// window binder's widgets do, and runs a control's row whenever its state
// changes, from a rule or from the user, with the same rules about which
// changes run nothing (a list going to no item, a rebuilt list, a combo box
// set as its page opens, a display's text).
//
// openConfigPage and openPicPage open the pages through the dialogs' own
// opening (config/DialogOpening.h), with HeadlessPages as the dialog; the
// user then switches tabs, clicks boxes and buttons, picks items and types
// into the edits the page leaves operable, all taken from the fuzz input.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "common/Script.h"
#include "config/ControlRows.h"
#include "config/DialogOpening.h"
#include "config/PicPlaces.h"

namespace tesmar::fuzz {

class HeadlessPages : public config::StateContext, public config::PageDialog {
public:
    HeadlessPages(AppState& st, std::span<const config::ControlRow> rows);

    // ---- The dialog, as its opening drives it: no page control, only which
    // sheets show and which is current.
    config::StateContext& pages() override { return *this; }
    void showSheets(const std::vector<int>& sheets, const std::vector<std::string>& captions) override;
    void decodeAll() override;
    void refreshDisplays() override;
    // Edits whose validator shows what is typed in upper case.
    void setUpperCase(const std::vector<std::string>& names);

    // ---- The user.
    const std::vector<int>& shownSheets() const { return shown_; }
    int currentSheet() const { return current_; }
    // Switches to one of the shown tabs (by its place among them); false when none shows.
    bool switchTab(std::uint8_t pick);
    // Acts on one of the controls the user can reach now (on the current tab
    // or beside the tabs, shown and enabled): toggles a box, checks a radio
    // button, picks an item, or types into an edit, the choice and the text
    // taken from the script. False when no control can be reached.
    bool act(Script& s);
    // What the last act() did: the control, the item picked (lists), the
    // texts an edit went through (one per key).
    struct Action {
        std::string name;
        int item = -1;
        std::vector<std::string> texts;
    };
    Action lastAction;
    // The controls act() can reach now, by name.
    std::vector<std::string> reachableNames() const;
    // Called with the new tab after the user switched to it.
    std::function<void(int sheet)> onTabChange;

    // Rows of the shown sheets, and the dialog's own rows that show.
    std::vector<const config::ControlRow*> shownRows() const;
    // Called before each write of a value: the image offset, or the global.
    std::function<void(std::size_t at)> onImageWrite;
    std::function<void(config::ConfigGlobal g)> onGlobalWrite;

    std::string lastSaid;
    int rowsRun = 0;  // the rows the changes ran, the opening's included

    // ---- PageContext.
    bool checked(std::string_view name) const override;
    void setChecked(std::string_view name, bool on) override;
    int itemIndex(std::string_view name) const override;
    void setItemIndex(std::string_view name, int index) override;
    int itemCount(std::string_view name) const override;
    void setItems(std::string_view name, const std::vector<std::string>& items) override;
    void setItemEnabled(std::string_view name, int index, bool on) override;
    std::string text(std::string_view name) const override;
    void setText(std::string_view name, const std::string& text) override;
    void setVisible(std::string_view name, bool on) override;
    void setEnabled(std::string_view name, bool on) override;
    void move(std::string_view, int, int) override {}
    void say(const std::string& line) override { lastSaid = line; }

protected:
    void storing(config::Target t, std::optional<std::size_t> at) override;
    void showValue(config::Target t) override;

private:
    struct Control {
        const config::ControlRow* row = nullptr;
        int parent = -1;  // the control it sits in; -1 on its sheet (or beside the tabs)
        bool checked = false;
        int index = -1;
        std::vector<std::string> items;
        std::vector<bool> itemEnabled;
        std::string text;
        bool hidden = false;
        bool enabled = true;
        bool upperCase = false;
    };

    Control* find(std::string_view name);
    const Control* find(std::string_view name) const;
    void changed(const config::ControlRow& row, int state);
    void apply(Control& c);
    void check(Control& c, bool on);                // a button's setChecked
    void chooseItem(Control& c, int index, bool quiet);
    void putText(Control& c, std::string text);     // an edit's setText; runs an editable one's row
    bool visibleTo(const Control& c) const;         // shown up to its sheet (or the dialog)
    bool enabledUp(const Control& c) const;
    bool onShownSheet(const config::ControlRow& row) const;
    std::vector<std::size_t> reach() const;
    bool isDisplay(const config::ControlRow& row) const;

    std::vector<Control> controls_;
    std::map<std::string, std::size_t, std::less<>> byName_;
    // The controls a user can operate, by sheet (-1: beside the tabs), and
    // the controls of each value.
    std::map<int, std::vector<std::size_t>> operable_;
    static int targetKey(config::Target t) { return int(t.kind) * 256 + t.index; }
    std::map<int, std::vector<std::size_t>> byTarget_;
    std::vector<int> shown_;
    int current_ = -1;
};

// The sample records the Config button opens a page for (the PIC dialog or
// a page of the configuration dialog), in file order.
const std::vector<DeviceRecord>& configPageRecords();

// The "ID / Configuration" dialog of memory-protection and microcontroller
// pages opened on st.dev(); null when the device shows no sheet.
std::unique_ptr<HeadlessPages> openConfigPage(AppState& st);
// The PIC dialog opened on st.dev() (a 'C' record): opening masks, ID group,
// the set of the page code or the ID group alone; a change of tab shows the
// ID group of the new sheet.
std::unique_ptr<HeadlessPages> openPicPage(AppState& st);

}  // namespace tesmar::fuzz
