#pragma once
// The device selection dialog: family radios, manufacturer and device lists.
#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <optional>

#include "app/AppState.h"
#include "devices/DeviceRecord.h"

namespace tesmar {

class TfrmSelectDevice : public QDialog {
    Q_OBJECT
public:
    TfrmSelectDevice(AppState& st, QWidget* parent = nullptr);

    // After OK: the record read in full with its manufacturer and device texts.
    struct Choice {
        DeviceRecord record;
        QString manufacturer;
        QString device;
    };
    const std::optional<Choice>& choice() const { return choice_; }

    void LoadDeviceLists(int which);

    QLabel *Label1, *Label2;
    QListWidget *ListBox1, *ListBox2;
    QRadioButton* RadioButton[5];
    QPushButton *BitBtn1, *BitBtn2;

public slots:
    void FormShow();
    void RBClick();
    void ListBox1Click();
    void ListBox2Click();
    void BitBtn1Click();
    void BitBtn2Click();

protected:
    void showEvent(QShowEvent* e) override;

private:
    QString filePath() const;
    void loadLists(int which);

    AppState& st_;
    bool SelectDialogShown = false;
    bool shownOnce_ = false;
    bool loading_ = false;
    std::optional<Choice> choice_;
};

// The 40-pin socket drawing shown for parts that need a note on their placing.
class TInsertDisplay : public QDialog {
    Q_OBJECT
public:
    explicit TInsertDisplay(QWidget* parent = nullptr);
    QPushButton* OKAY;

public slots:
    void OKAYClick() { accept(); }

protected:
    void paintEvent(QPaintEvent* e) override;
};

extern const char* const kFamilyFileNames[5];

}  // namespace tesmar
