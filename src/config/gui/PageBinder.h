#pragma once
// The configuration dialogs' binder: builds the widgets of a row table
// (config/ControlRows.h), places them, sets them from the values when a page
// opens and runs every change of a control's state through its row. Setting
// a control from code runs its row just as a click does, whenever the state
// changes (the binder listens to toggled / itemIndexChanged /
// currentIndexChanged / textChanged, not to clicks). A list whose index
// becomes -1, also by a rebuild of its items, runs nothing. A combo box set
// from its value as its page opens runs nothing either.
#include <QButtonGroup>
#include <QGroupBox>
#include <QObject>
#include <QRadioButton>
#include <QSize>
#include <QStringList>
#include <QTabWidget>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "config/ControlRows.h"
#include "config/DialogOpening.h"
#include "config/PicPlaces.h"

namespace tesmar {

// A framed list of mutually exclusive items with one index, like a radio
// group of the form designer. itemIndexChanged fires whenever the index
// changes, from a click or from code, but not when the items are cleared.
// Long lists (16 items and more) take two columns.
class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(const QString& caption, QWidget* parent = nullptr);

    void setItems(const QStringList& items);  // replaces the items; no item selected
    // Items in `n` columns from the next setItems on; 0: one, two from 16 items.
    void setColumns(int n) { columns_ = n; }
    QStringList items() const;
    int count() const { return int(buttons_.size()); }
    int itemIndex() const { return index_; }
    void setItemIndex(int index);  // -1 or out of range: no item selected
    QRadioButton* button(int index) const;

signals:
    void itemIndexChanged(int index);

private:
    void buttonToggled(int id, bool checked);

    QButtonGroup group_;
    std::vector<QRadioButton*> buttons_;
    int index_ = -1;
    int columns_ = 0;
};

class PageBinder : public QObject, public config::StateContext {
    Q_OBJECT
public:
    // Builds the widgets of `rows`: a row's parent is the named control
    // before it, or its sheet (sheets[row.sheet.index]), or `frame` for
    // kFrame rows. Controls without a position flow down a sheet from the
    // left edge `flowLeft(sheet)` within `sheetSize`; the dialog's own rows
    // take the place their row gives.
    PageBinder(AppState& st, std::span<const config::ControlRow> rows, const std::vector<QWidget*>& sheets,
               QWidget* frame, QSize sheetSize, std::function<int(int sheet)> flowLeft = {});

    // The sheets whose controls are set and whose displays follow the values.
    void setShownSheets(std::vector<int> sheets) { shown_ = std::move(sheets); }
    // Sets each control of the shown sheets and of the frame from the
    // values, in table order, as a user choosing that state would. Controls
    // hidden at that moment are left as they are.
    void decodeAll();
    // Every shown display (label, memo, read-only edit) shows its value again.
    void refreshDisplays();

    QWidget* widget(std::string_view name) const;
    template <class W>
    W* get(std::string_view name) const { return qobject_cast<W*>(widget(name)); }

    // Where say() goes.
    std::function<void(const std::string&)> onSay;

    // PageContext.
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
    void move(std::string_view name, int x, int y) override;
    void say(const std::string& line) override;
    void showValue(config::Target t) override;

private:
    QWidget* create(const config::ControlRow& row, QWidget* parent);
    void connectRow(const config::ControlRow& row, QWidget* w);
    void changed(const config::ControlRow& row, int state);
    void apply(const config::ControlRow& row, QWidget* w);
    QSize flow(QWidget* container, int left, int top, int bottom);
    bool onShownSheet(const config::ControlRow& row) const;
    bool isDisplay(const config::ControlRow& row) const;

    std::span<const config::ControlRow> rows_;
    std::vector<QWidget*> sheets_;
    QWidget* frame_;
    std::vector<int> shown_;
    std::map<std::string, QWidget*, std::less<>> controls_;
    std::map<QWidget*, std::vector<const config::ControlRow*>> children_;
};

// A dialog's binder with the page control that holds its sheets, as the
// dialog's opening drives them (config/DialogOpening.h).
class TabbedPages : public config::PageDialog {
public:
    TabbedPages(PageBinder& binder, QTabWidget& tabs) : binder_(binder), tabs_(tabs) {}

    config::StateContext& pages() override { return binder_; }
    void showSheets(const std::vector<int>& sheets, const std::vector<std::string>& captions) override;
    void decodeAll() override { binder_.decodeAll(); }
    void refreshDisplays() override { binder_.refreshDisplays(); }

private:
    PageBinder& binder_;
    QTabWidget& tabs_;
};

}  // namespace tesmar
