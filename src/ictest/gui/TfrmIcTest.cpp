#include "ictest/gui/TfrmIcTest.h"

#include <QShowEvent>

#include "ictest/gui/TForm1.h"
#include "operations/Host.h"

namespace tesmar {

namespace {

QLabel* label(QWidget* parent, const char* name, const QString& text, QRect where) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    l->setGeometry(where);
    return l;
}

QLabel* panel(QWidget* parent, const char* name, QRect where) {
    QLabel* p = label(parent, name, QString(), where);
    p->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    p->setAlignment(Qt::AlignCenter);
    return p;
}

QPushButton* button(QWidget* parent, const char* name, const QString& text, QRect where) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setGeometry(where);
    b->setAutoDefault(false);
    return b;
}

}  // namespace

TfrmIcTest::TfrmIcTest(AppState& st, QWidget* parent) : QDialog(parent), st_(st) {
    buildUi();
    if (parent) {
        setFont(parent->font());
        setPalette(parent->palette());
    }
    // A new opening uploads the tester's bitstream and firmware again.
    t_.LoadedFpgaPins = 0;
    t_.McuFileSent = false;
}

void TfrmIcTest::buildUi() {
    setObjectName("frmIcTest");
    setWindowTitle("IC Test");
    setFixedSize(480, 300);

    Label1 = label(this, "Label1", "IC Group", {10, 8, 200, 18});
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName("ListBox1");
    ListBox1->setGeometry(10, 28, 200, 220);
    Label2 = label(this, "Label2", "IC", {220, 8, 130, 18});
    ListBox2 = new QListWidget(this);
    ListBox2->setObjectName("ListBox2");
    ListBox2->setGeometry(220, 28, 130, 220);

    Label3 = label(this, "Label3", "Testing", {10, 8, 120, 22});
    StaticText1 = label(this, "StaticText1", QString(), {130, 8, 220, 22});
    StaticText2 = label(this, "StaticText2", QString(), {10, 36, 340, 22});
    Bevel1 = new QFrame(this);
    Bevel1->setObjectName("Bevel1");
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel1->setGeometry(5, 64, 350, 184);
    Label4 = label(this, "Label4", "Vectors", {12, 74, 70, 24});
    Panel1 = panel(this, "Panel1", {84, 74, 262, 24});
    Label5 = label(this, "Label5", "Result", {12, 104, 70, 24});
    Panel2 = panel(this, "Panel2", {84, 104, 262, 24});
    Label6 = label(this, "Label6", "Memory", {12, 134, 70, 22});
    CGauge1 = new QProgressBar(this);
    CGauge1->setObjectName("CGauge1");
    CGauge1->setGeometry(84, 134, 262, 22);
    CGauge1->setRange(0, 100);
    CGauge1->setValue(0);
    Pass = label(this, "Pass", "PASS", {84, 170, 262, 60});
    Fail = label(this, "Fail", "FAIL", {84, 170, 262, 60});
    NotTested = label(this, "NotTested", "NOT TESTED", {84, 170, 262, 60});
    for (QLabel* verdict : {Pass, Fail, NotTested}) {
        QFont f = verdict->font();
        f.setPointSize(f.pointSize() * 2);
        f.setBold(true);
        verdict->setFont(f);
        verdict->setAlignment(Qt::AlignCenter);
    }
    Pass->setStyleSheet("color: green");
    Fail->setStyleSheet("color: red");
    NotTested->setStyleSheet("color: gray");

    BB_test = button(this, "BB_test", "Test  1 x", {365, 28, 105, 32});
    BB_loop = button(this, "BB_loop", " Loop Test ", {365, 68, 105, 32});
    ChangeIC = button(this, "ChangeIC", "Change IC", {365, 108, 105, 32});

    for (QWidget* w : std::initializer_list<QWidget*>{Label3, StaticText1, StaticText2, Bevel1, Label4, Panel1, Label5,
                                                      Panel2, Label6, CGauge1, Pass, Fail, NotTested})
        w->hide();

    connect(ListBox1, &QListWidget::currentRowChanged, this, &TfrmIcTest::ListBox1Click);
    connect(ListBox2, &QListWidget::currentRowChanged, this, &TfrmIcTest::ListBox2Click);
    connect(ChangeIC, &QPushButton::clicked, this, &TfrmIcTest::ChangeICClick);
    connect(BB_test, &QPushButton::clicked, this, &TfrmIcTest::BB_testClick);
    connect(BB_loop, &QPushButton::clicked, this, &TfrmIcTest::BB_testClick);
}

void TfrmIcTest::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (shown_ || e->spontaneous()) return;
    shown_ = true;
    FormShow();
}

void TfrmIcTest::FormShow() {
    t_.IcGroupIndex = 0;
    t_.IcIndex = -1;
    if (LoadIcTestLists(3)) t_.IcGroupIndex = 1;
    ChangeIC->setEnabled(false);
}

bool TfrmIcTest::LoadIcTestLists(unsigned mask) {
    ictest::IcLists lists;
    const bool opened = ictest::LoadIcTestLists(st_, t_, mask, lists);
    quiet_ = true;
    if (!opened) {
        ListBox1->clear();
        ListBox2->clear();
    } else {
        if (mask & 1) {
            ListBox1->clear();
            for (const QString& name : lists.groups) ListBox1->addItem(name);
            if (ListBox1->count() > 0) ListBox1->setCurrentRow(0);
        }
        if (mask & 2) {
            ListBox2->clear();
            for (const QString& name : lists.ics) ListBox2->addItem(name);
            if (ListBox2->count() > 0) ListBox2->setCurrentRow(0);
        }
    }
    quiet_ = false;
    return opened;
}

void TfrmIcTest::ListBox1Click(int row) {
    if (quiet_ || row < 0) return;
    t_.IcGroupIndex = row;
    LoadIcTestLists(2);
    t_.IcGroupIndex += 1;
}

void TfrmIcTest::ListBox2Click(int row) {
    if (quiet_ || row < 0) return;
    t_.IcIndex = row;
}

void TfrmIcTest::hideResults() {
    for (QWidget* w : std::initializer_list<QWidget*>{Fail, Pass, NotTested, Panel1, Panel2, Label4, Label5, Label6, CGauge1})
        w->hide();
}

void TfrmIcTest::ChangeICClick() {
    FormShow();
    for (QWidget* w : std::initializer_list<QWidget*>{ListBox1, ListBox2, Label1, Label2}) w->show();
    // The wiring hint and the frame of the last test go too, so the lists
    // are not shown under another IC's hint.
    for (QWidget* w : std::initializer_list<QWidget*>{Label3, StaticText1, StaticText2, Bevel1}) w->hide();
    hideResults();
    ChangeIC->setEnabled(false);
}

void TfrmIcTest::BB_testClick() {
    const bool loop = sender() == BB_loop;
    if (st_.host) st_.host->memoClear();
    if (loop) {
        t_.LoopCount = 0;  // closing the form without a count runs no pass
        TForm1 form(st_, t_, this);
        form.exec();
    } else {
        t_.LoopCount = 1;
    }
    ictest::RunIcTest(st_, t_, *this, exchange_);
    BB_test->setEnabled(true);
    BB_loop->setEnabled(true);
    if (st_.ErrorFlag == 0) BB_loop->setText(" Loop Test ");
    ChangeIC->setEnabled(true);
}

void TfrmIcTest::showTesting(const QString& icName, const QString& wiringHint, bool looping) {
    for (QWidget* w : std::initializer_list<QWidget*>{ListBox1, ListBox2, Label1, Label2}) w->hide();
    Label3->show();
    StaticText1->setText(icName);
    StaticText1->show();
    StaticText2->setText(wiringHint);
    StaticText2->setVisible(!wiringHint.isEmpty());
    hideResults();
    if (looping)
        BB_test->setEnabled(false);
    else
        BB_loop->setEnabled(false);
    repaint();
}

void TfrmIcTest::setLoopCaption(const QString& caption) { BB_loop->setText(caption); }

void TfrmIcTest::lineSent() { Bevel1->show(); }

void TfrmIcTest::showPass() { Pass->show(); }

void TfrmIcTest::showFail(const QString& vectors, const QString& result) {
    Fail->show();
    Label4->show();
    Label5->show();
    Panel1->setText(vectors);
    Panel1->show();
    Panel2->setText(result);
    Panel2->show();
}

void TfrmIcTest::showMemoryTest(int memorySize) {
    Panel1->setText(QString());
    Panel1->show();
    CGauge1->setRange(0, memorySize);
    CGauge1->setValue(0);
    CGauge1->show();
    Label6->show();
}

void TfrmIcTest::setMemoryCaption(const QString& caption) { Panel1->setText(caption); }

void TfrmIcTest::setMemoryProgress(int position) { CGauge1->setValue(position); }

void TfrmIcTest::showMemoryFail() {
    Panel1->setText(Panel1->text() + "  Failed");
    Fail->show();
}

void TfrmIcTest::showMemoryNotTested() {
    Panel1->setText(Panel1->text() + "  Not tested");
    NotTested->show();
}

}  // namespace tesmar
