#pragma once
// "Enter Loop Count": the number of passes of a Loop Test.
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

#include "app/AppState.h"
#include "ictest/IcTester.h"

namespace tesmar {

class TForm1 : public QDialog {
    Q_OBJECT
public:
    // LoopCount is set only by OK with a count of at least 1; closing the
    // form otherwise leaves it as it was.
    TForm1(AppState& st, ictest::IcTesterState& tester, QWidget* parent = nullptr);

    QLineEdit* Edit1;
    QPushButton* BitBtn1;

public slots:
    void BitBtn1Click();

private:
    AppState& st_;
    ictest::IcTesterState& t_;
};

}  // namespace tesmar
