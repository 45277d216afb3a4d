#pragma once
// "IC Test": pick a group and an IC of All.usb, run its vectors once (Test)
// or a chosen number of times (Loop Test), and see Pass or Fail with the
// failing line and the IC's answer.
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include "app/AppState.h"
#include "ictest/IcTester.h"

namespace tesmar {

class TfrmIcTest : public QDialog, public ictest::IcTestView {
    Q_OBJECT
public:
    explicit TfrmIcTest(AppState& st, QWidget* parent = nullptr);

    ictest::IcTesterState& tester() { return t_; }
    // The memory ICs' pattern exchange (null: none, memory ICs are not tested).
    void setMemoryExchange(ictest::IcMemoryExchange* exchange) { exchange_ = exchange; }

    QListWidget *ListBox1, *ListBox2;  // groups, ICs of the chosen group
    QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6;
    QLabel *StaticText1, *StaticText2;  // IC name, wiring hint
    QLabel *Fail, *Pass, *NotTested;
    QLabel *Panel1, *Panel2;  // failing line (or pattern step), the IC's answer
    QProgressBar* CGauge1;
    QFrame* Bevel1;
    QPushButton *BB_test, *BB_loop, *ChangeIC;

    // IcTestView.
    void showTesting(const QString& icName, const QString& wiringHint, bool looping) override;
    void setLoopCaption(const QString& caption) override;
    void lineSent() override;
    void showPass() override;
    void showFail(const QString& vectors, const QString& result) override;
    void showMemoryTest(int memorySize) override;
    void setMemoryCaption(const QString& caption) override;
    void setMemoryProgress(int position) override;
    void showMemoryFail() override;
    void showMemoryNotTested() override;

public slots:
    void ListBox1Click(int row);
    void ListBox2Click(int row);
    void ChangeICClick();
    void BB_testClick();

protected:
    void showEvent(QShowEvent* e) override;

private:
    void buildUi();
    void FormShow();
    bool LoadIcTestLists(unsigned mask);
    void hideResults();

    AppState& st_;
    ictest::IcTesterState t_;
    ictest::IcMemoryExchange* exchange_ = nullptr;
    bool shown_ = false;
    bool quiet_ = false;  // list changes made by the code are not user clicks
};

}  // namespace tesmar
