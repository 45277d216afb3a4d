#include "app/gui/TfrmMains.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QEventLoop>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QStyle>
#include <QMessageBox>
#include <QScreen>
#include <QSoundEffect>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include "app/Paths.h"
#include "app/Settings.h"
#include "app/gui/Commands.h"
#include "families/PldGeometry.h"
#include "link/Link.h"
#include "link/UsbPort.h"
#include "operations/Checksum.h"
#include "operations/Dispatch.h"
#include "operations/Report.h"
#include "operations/gui/TProgressForm.h"

namespace tesmar {

namespace {

constexpr const char* kFamilyFiles[5] = {"zrvusb_r.usb", "zrvusb_e.usb", "zrvusb_s.usb", "zrvusb_m.usb",
                                         "zrvusb_p.usb"};

QToolButton* makeButton(QWidget* parent, const char* name, const QString& caption, const QString& hint,
                        QStyle::StandardPixmap glyph) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setText(caption);
    b->setProperty("hint", hint);
    b->setToolTip(hint);
    b->setIcon(parent->style()->standardIcon(glyph));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setAutoRaise(true);
    b->resize(58, 52);
    return b;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int x, int y, int w = 150) {
    auto* l = new QLabel(text, parent);
    if (name) l->setObjectName(name);
    l->setGeometry(x, y, w, 16);
    return l;
}

}  // namespace

ScreenPlacement screenPlacement(int width, int height) {
    return {height < 600 || width < 800, height >= 768 && width >= 1024};
}

TfrmMains::TfrmMains(UsbPort* port, std::function<void(int)> pause, QWidget* parent) : QWidget(parent) {
    st_.host = this;
    st_.usb = port;
    if (pause)
        st_.pause = std::move(pause);
    else
        st_.pause = [this](int ms) { pauseHere(ms); };
    deliver_ = new QTimer(this);
    deliver_->setInterval(kDeliverMs);
    connect(deliver_, &QTimer::timeout, this, [this] {
        deliverProgress();
        std::lock_guard lock(out_.m);
        const bool waiting = !out_.lines.isEmpty() || out_.clear || out_.close || out_.gauge || out_.caption;
        if (!out_.inRun && !waiting) {
            // Nothing more is expected: sleep until someone gathers again.
            out_.armed = false;
            deliver_->stop();
        }
    });
    buildUi();
    FormResize();
    FormCreate();
}

TfrmMains::~TfrmMains() {
    if (!closed_) FormClose();
}

void TfrmMains::buildUi() {
    setObjectName("frmMains");
    setWindowTitle("Tesmar");
    setFixedSize(796, 538);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(192, 192, 192));
    // The style's grey for disabled captions is the silver of the window
    // itself; the dialogs copy this palette, so darken it once here.
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        pal.setColor(QPalette::Disabled, role, QColor(110, 110, 110));
    setPalette(pal);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    struct Spec {
        QToolButton** member;
        const char* name;
        const char* caption;
        const char* hint;
        QStyle::StandardPixmap glyph;
    };
    const Spec specs[] = {
        {&SB_Select, "SB_Select", "Select", "Select Device", QStyle::SP_FileDialogListView},
        {&SB_Load, "SB_Load", "Load", "Load File to Buffer", QStyle::SP_DialogOpenButton},
        {&SB_Save, "SB_Save", "Save", "Save Buffer to File", QStyle::SP_DialogSaveButton},
        {&SB_Edit, "SB_Edit", "Edit", "Edit Buffer", QStyle::SP_FileDialogDetailedView},
        {&SB_Config, "SB_Config", "Config", "Set Device Configuration Bits", QStyle::SP_FileDialogInfoView},
        {&SB_Blank, "SB_Blank", "Blank", "Check If Device Blank", QStyle::SP_DialogResetButton},
        {&SB_Read, "SB_Read", "Read", "Read Device", QStyle::SP_ArrowDown},
        {&SB_Prog, "SB_Prog", "Program", "Program Device", QStyle::SP_ArrowUp},
        {&SB_Verify, "SB_Verify", "Verify", "Verify Device", QStyle::SP_DialogApplyButton},
        {&SB_Erase, "SB_Erase", "Erase", "Erase Device ", QStyle::SP_TrashIcon},
        {&SB_Option, "SB_Option", "Options", "Set Options", QStyle::SP_FileDialogContentsView},
        {&SB_IcTest, "SB_IcTest", "IC Test", "IC test", QStyle::SP_ComputerIcon},
        {&SB_Lock, "SB_Lock", "Lock", "Secure Device", QStyle::SP_MessageBoxWarning},
    };
    int x = 4;
    for (const Spec& s : specs) {
        *s.member = makeButton(this, s.name, s.caption, s.hint, s.glyph);
        (*s.member)->move(x, 2);
        x += 60;
    }
    for (QToolButton* b : deviceButtons()) setButton(b, false);
    setButton(SB_Select, true);
    setButton(SB_IcTest, haveIcTester());
    setButton(SB_Lock, false);
    SB_Lock->hide();

    connect(SB_Select, &QToolButton::clicked, this, &TfrmMains::SB_SelectClick);
    connect(SB_Load, &QToolButton::clicked, this, &TfrmMains::SB_LoadClick);
    connect(SB_Save, &QToolButton::clicked, this, &TfrmMains::SB_SaveClick);
    connect(SB_Edit, &QToolButton::clicked, this, &TfrmMains::SB_EditClick);
    connect(SB_Config, &QToolButton::clicked, this, &TfrmMains::SB_ConfigClick);
    connect(SB_Option, &QToolButton::clicked, this, &TfrmMains::SB_OptionClick);
    connect(SB_IcTest, &QToolButton::clicked, this, &TfrmMains::SB_IcTestClick);
    for (QToolButton* b : {SB_Blank, SB_Read, SB_Prog, SB_Verify, SB_Erase, SB_Lock})
        connect(b, &QToolButton::clicked, this, &TfrmMains::SB_ReadClick);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setStyleSheet("QPlainTextEdit { background: black; color: lime; }");
    Memo1->move(8, SB_Select->y() + 57);

    auto makePanel = [this](const char* name, bool black) {
        auto* p = new QFrame(this);
        p->setObjectName(name);
        p->setFrameShape(QFrame::Panel);
        p->setFrameShadow(QFrame::Sunken);
        p->setAutoFillBackground(true);
        if (black) {
            QPalette pal = p->palette();
            pal.setColor(QPalette::Window, Qt::black);
            pal.setColor(QPalette::WindowText, Qt::white);
            p->setPalette(pal);
        }
        return p;
    };
    Panel1 = makePanel("Panel1", true);
    Panel1->setGeometry(8, 317, 649, 78);

    Panel2 = makePanel("Panel2", false);
    Panel2->setGeometry(8, 397, 649, 78);

    Panel3 = makePanel("Panel3", false);
    Panel3->setGeometry(656, 317, 132, 160);

    // The panels' captions and value labels.
    struct Field {
        QWidget* panel;
        const char* caption;
        int x, y, captionWidth;
        QLabel** value;
        const char* name;
        int valueX, valueWidth;
    };
    const Field fields[] = {
        {Panel1, "Manuf:", 6, 4, 70, &ManuL, "ManuL", 80, 160},
        {Panel1, "Manuf ID:", 250, 4, 90, &ManIDL, "ManIDL", 340, 60},
        {Panel1, "Device ID:", 420, 4, 100, &DevIDL, "DevIDL", 520, 50},
        {Panel1, nullptr, 0, 4, 0, &DevIDL2, "DevIDL2", 575, 50},
        {Panel1, "Device:", 6, 22, 70, &DevL, "DevL", 80, 200},
        {Panel1, "Size:", 250, 22, 90, &SizeL, "SizeL", 340, 80},
        {Panel1, "Checksum:", 420, 22, 100, &CheckL, "CheckL", 520, 100},
        {Panel1, "Vcc:", 6, 40, 70, &VccL, "VccL", 80, 100},
        {Panel1, "Vpp:", 250, 40, 90, &VppL, "VppL", 340, 100},
        {Panel2, "Adapter:", 6, 4, 90, &AdapL, "AdapL", 100, 540},
        {Panel2, "File:", 6, 24, 90, &FileL, "FileL", 100, 540},
        {Panel2, "Comments:", 6, 44, 90, &ComL, "ComL", 100, 540},
        {Panel3, "Programmed", 8, 4, 110, nullptr, nullptr, 0, 0},
        {Panel3, "Total:", 8, 28, 64, &TotalProg, "TotalProg", 72, 56},
        {Panel3, "Correct:", 8, 48, 64, &ProgCorrect, "ProgCorrect", 72, 56},
        {Panel3, "Fail:", 8, 68, 64, &ProgFail, "ProgFail", 72, 56},
    };
    for (const Field& f : fields) {
        if (f.caption) makeLabel(f.panel, nullptr, f.caption, f.x, f.y, f.captionWidth);
        if (f.value) *f.value = makeLabel(f.panel, f.name, f.panel == Panel3 ? " " : "", f.valueX, f.y, f.valueWidth);
    }
    BitBtn1 = new QPushButton("Reset", Panel3);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(24, 100, 84, 26);
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmMains::BitBtn1Click);

    ClearMessages = new QPushButton("Clear", this);
    ClearMessages->setObjectName("ClearMessages");
    ClearMessages->setToolTip("Clear Messages");
    ClearMessages->setGeometry(8, 485, 90, 28);
    connect(ClearMessages, &QPushButton::clicked, this, &TfrmMains::ClearMessagesClick);
    ReconnectBT = new QPushButton("Reconnect", this);
    ReconnectBT->setObjectName("ReconnectBT");
    ReconnectBT->setGeometry(696, 485, 90, 28);
    connect(ReconnectBT, &QPushButton::clicked, this, &TfrmMains::ReconnectBTClick);
    AutoIncB = new QPushButton("Auto Inc", this);
    AutoIncB->setObjectName("AutoIncB");
    AutoIncB->setGeometry(110, 485, 90, 28);
    AutoIncB->setVisible(haveAutoIncrement());
    connect(AutoIncB, &QPushButton::clicked, this, &TfrmMains::AutoIncBClick);

    LoadDialog = new QFileDialog(this);
    LoadDialog->setObjectName("LoadDialog");
    LoadDialog->setOption(QFileDialog::DontUseNativeDialog);
    LoadDialog->setFileMode(QFileDialog::ExistingFile);
    LoadDialog->setAcceptMode(QFileDialog::AcceptOpen);
    LoadDialog->setDefaultSuffix("hex");
    SaveDialog = new QFileDialog(this);
    SaveDialog->setObjectName("SaveDialog");
    SaveDialog->setOption(QFileDialog::DontUseNativeDialog);
    SaveDialog->setAcceptMode(QFileDialog::AcceptSave);
}

std::vector<QToolButton*> TfrmMains::deviceButtons() const {
    return {SB_Load, SB_Save, SB_Edit, SB_Config, SB_Blank, SB_Read, SB_Prog, SB_Verify, SB_Erase, SB_Option};
}

void TfrmMains::setButton(QToolButton* b, bool on) {
    b->setEnabled(on);
    b->setToolTip(on ? b->property("hint").toString() : QString());
}

void TfrmMains::disableDeviceButtons() {
    for (QToolButton* b : deviceButtons()) setButton(b, false);
}

void TfrmMains::enableFromRecord(const DeviceRecord& rec) {
    // The toolbar offers the buttons the record lists. Two guards stay for a
    // family file that lists more than the program can do with the part: a
    // PLD whose algorithm names no fuse geometry has no map to file, edit or
    // show, and a family without a routine has no operation to run (nothing
    // would close its progress dialog).
    const bool fuseMap = rec.FamilyLetter != 'P' || pldHasGeometry(rec);
    const bool operations = familyHasRoutine(rec);
    static const unsigned bits[] = {BtnLoad, BtnSave, BtnEdit, BtnConfig, BtnBlank, BtnRead, BtnProg, BtnVerify,
                                    BtnErase, BtnOption};
    const auto list = deviceButtons();
    for (std::size_t i = 0; i < list.size(); ++i) {
        bool on = (rec.Buttons >> bits[i]) & 1u;
        if (!fuseMap && (list[i] == SB_Load || list[i] == SB_Save || list[i] == SB_Edit || list[i] == SB_Config))
            on = false;
        if (!operations && (list[i] == SB_Blank || list[i] == SB_Read || list[i] == SB_Prog ||
                            list[i] == SB_Verify || list[i] == SB_Erase))
            on = false;
        setButton(list[i], on);
    }
}

void TfrmMains::setProgressForm(TProgressForm* form) { progress_ = form; }

void TfrmMains::pauseHere(int ms) {
    if (ms <= 0) return;
    if (QThread::currentThread() != thread()) {
        QThread::msleep(unsigned(ms));
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

// ---------------------------------------------------------------- start-up

void TfrmMains::FormCreate() {
    // 1-3: start values.
    st_.settings.SoftwareRevision = 1052;
    st_.settings.LastSessionTotal = 0;
    for (QLabel* l : {ManuL, ManIDL, DevIDL, DevIDL2, DevL, SizeL, CheckL, VccL, VppL, AdapL, FileL, ComL}) l->clear();
    for (QLabel* l : {TotalProg, ProgCorrect, ProgFail}) l->setText(" ");
    st_.settings.IdCheckOption = st_.settings.InsertionTest = st_.settings.VerifyMaxMin = 1;
    st_.settings.ProgramSteps = 0;
    st_.TotalCount = st_.FailCount = st_.GoodCount = 0;
    st_.settings.OffsetValue = 0;
    st_.settings.OffsetAdd = 1;
    st_.AutoIncAddress = {};
    st_.AutoIncrement = false;
    // Both folders start at the start-up folder, so a store that cannot be
    // read still leaves the firmware, data and sound files where they are.
    st_.settings.ProgramDir = st_.settings.LoadSavePath = QDir::currentPath().left(259).toStdString();
    // 4: settings.
    WriteDefaultSettings(st_);
    ReadSettings(st_);
    // 5: screen.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize s = screen->size();
        const ScreenPlacement p = screenPlacement(s.width(), s.height());
        if (p.warn) message("Program best viewed at 800x600 or higher resolution", "Program Resolution", BoxIcon::None);
        if (p.centre)
            move(screen->geometry().center() - rect().center());
        else
            move(1, 1);
    }
    // 6: family data files in the start-up folder.
    st_.AvailableFamilies = 0;
    for (int i = 0; i < 5; ++i)
        if (fileExists(QDir::current().filePath(kFamilyFiles[i]).toStdString())) st_.AvailableFamilies |= 1u << i;
    // 7-9.
    setButton(SB_Select, true);
    st_.buf.replace(0x200000);
    st_.RunFlag = 1;
    st_.ProgrammerState = 0;
    // 10: connect and identify.
    ConnectProgrammer(st_, false);
    // 11.
    st_.FirmwareDir = st_.settings.ProgramDir + "/usbf/";
    st_.McuFirmwareDir = st_.settings.ProgramDir + "/usbm/";
}

void TfrmMains::FormClose() {
    closed_ = true;
    if (st_.usb && st_.usb->isOpen()) st_.usb->close();
    SaveSettings(st_);
    st_.buf.DeviceBuffer.clear();
    st_.buf.DeviceBuffer.shrink_to_fit();
    st_.buf.BufferViewSize = 0;
    st_.CurrentDevice.reset();
}

void TfrmMains::closeEvent(QCloseEvent* e) {
    if (!closed_) FormClose();
    e->accept();
    QCoreApplication::quit();
}

void TfrmMains::FormResize() {
    const int W = frameGeometry().width(), H = frameGeometry().height();
    Memo1->resize(W - 19, Memo1->height());
    Memo1->move(Memo1->x(), SB_Select->y() + 57);
    Panel1->resize(W - 147, Panel1->height());
    Panel2->resize(W - 147, Panel2->height());
    ReconnectBT->move(W - 100, ReconnectBT->y());
    Panel2->move(Panel2->x(), H - 141);
    Panel1->move(Panel1->x(), H - 221);
    Panel3->move(W - 140, H - 221);
    ClearMessages->move(ClearMessages->x(), H - 53);
    ReconnectBT->move(ReconnectBT->x(), H - 53);
    AutoIncB->move(AutoIncB->x(), H - 53);
    Memo1->resize(Memo1->width(), Panel1->y() - Memo1->y());
}

void TfrmMains::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    FormResize();
}

// ---------------------------------------------------------------- handlers

void TfrmMains::ClearMessagesClick() { Memo1->clear(); }

void TfrmMains::BitBtn1Click() {
    for (QLabel* l : {TotalProg, ProgCorrect, ProgFail}) l->setText(" ");
    st_.TotalCount = st_.GoodCount = st_.FailCount = 0;
}

void TfrmMains::ReconnectBTClick() {
    ConnectProgrammer(st_, true);
    disableDeviceButtons();
    if (!SB_Lock->isHidden()) {
        SB_Lock->hide();
        setButton(SB_Lock, false);
        SB_Option->move(SB_Lock->x(), SB_Option->y());
        SB_Lock->move(SB_IcTest->x(), SB_Lock->y());
    }
    SB_IcTest->show();
    setButton(SB_IcTest, haveIcTester());
}

void TfrmMains::SB_SelectClick() { runSelection(*this); }
void TfrmMains::SB_ReadClick() { runOperation(*this, qobject_cast<QToolButton*>(sender())); }
void TfrmMains::SB_LoadClick() { runLoad(*this); }
void TfrmMains::SB_SaveClick() { runSave(*this); }
void TfrmMains::SB_EditClick() { runEdit(*this); }
void TfrmMains::SB_ConfigClick() { runConfig(*this); }
void TfrmMains::SB_OptionClick() { runOptions(*this); }
void TfrmMains::SB_IcTestClick() { runIcTest(*this); }
void TfrmMains::AutoIncBClick() { runAutoInc(*this); }

// ---------------------------------------------------------------- Host

void TfrmMains::post(std::function<void()> fn) {
    if (QThread::currentThread() == thread())
        fn();
    else
        QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

void TfrmMains::postAndWait(std::function<void()> fn) {
    if (QThread::currentThread() == thread())
        fn();
    else
        QMetaObject::invokeMethod(this, std::move(fn), Qt::BlockingQueuedConnection);
}

void TfrmMains::gather(const std::function<void()>& change) {
    bool wake = false;
    {
        std::lock_guard lock(out_.m);
        change();
        wake = !std::exchange(out_.armed, true);
    }
    // One call wakes the window; until it has looked and found nothing more,
    // further changes only wait in the outbox.
    if (wake)
        QMetaObject::invokeMethod(
            this, [this] { if (!deliver_->isActive()) deliver_->start(); }, Qt::QueuedConnection);
}

void TfrmMains::deliverProgress() {
    if (QThread::currentThread() != thread()) return;
    QStringList lines;
    bool clear, close;
    std::optional<std::pair<int, int>> gauge;
    std::optional<QString> caption;
    {
        std::lock_guard lock(out_.m);
        lines.swap(out_.lines);
        clear = std::exchange(out_.clear, false);
        close = std::exchange(out_.close, false);
        gauge = std::exchange(out_.gauge, std::nullopt);
        caption = std::exchange(out_.caption, std::nullopt);
    }
    if (clear) Memo1->clear();
    if (!lines.isEmpty()) Memo1->appendPlainText(lines.join('\n'));
    if (progress_) {
        if (caption) progress_->setWindowTitle(*caption);
        if (gauge) progress_->setGauge(gauge->first, gauge->second);
        if (close) progress_->closeOnce();
    }
}

void TfrmMains::beginRun() {
    {
        std::lock_guard lock(out_.m);
        out_.inRun = true;
        out_.armed = true;
        out_.mute = false;
        out_.closeAsked = false;
    }
    deliver_->start();
}

bool TfrmMains::takeAbort() {
    {
        std::lock_guard lock(out_.m);
        if (out_.closeAsked) return false;
        out_.mute = true;
    }
    deliverProgress();
    return true;
}

void TfrmMains::endRun() {
    deliverProgress();
    std::lock_guard lock(out_.m);
    out_.inRun = false;
    out_.mute = false;
    out_.armed = false;
    deliver_->stop();
}

void TfrmMains::memoAdd(const QString& line) {
    if (QThread::currentThread() == thread()) {
        deliverProgress();
        Memo1->appendPlainText(line);
        return;
    }
    gather([&] {
        if (!out_.mute) out_.lines << line;
    });
}

void TfrmMains::memoClear() {
    if (QThread::currentThread() == thread()) {
        deliverProgress();
        Memo1->clear();
        return;
    }
    gather([&] {
        out_.lines.clear();
        out_.clear = true;
    });
}

QStringList TfrmMains::memoLines() const {
    const QString text = Memo1->toPlainText();
    return text.isEmpty() && Memo1->document()->blockCount() <= 1 ? QStringList() : text.split('\n');
}

void TfrmMains::setGauge(int maximum, int position) {
    if (QThread::currentThread() == thread()) {
        deliverProgress();
        if (progress_) progress_->setGauge(maximum, position);
        return;
    }
    gather([&] { out_.gauge = std::make_pair(maximum, position); });
}

void TfrmMains::setProgressCaption(const QString& caption) {
    if (QThread::currentThread() == thread()) {
        deliverProgress();
        if (progress_) progress_->setWindowTitle(caption);
        return;
    }
    gather([&] { out_.caption = caption; });
}

void TfrmMains::closeProgress() {
    if (QThread::currentThread() == thread()) {
        {
            std::lock_guard lock(out_.m);
            out_.closeAsked = true;
        }
        deliverProgress();
        if (progress_) progress_->closeOnce();
        return;
    }
    gather([&] {
        out_.close = true;
        out_.closeAsked = true;
    });
}

Answer TfrmMains::askAbortRetryIgnore(const QString& text, const QString& caption) {
    Answer answer = Answer::Other;
    postAndWait([&] {
        deliverProgress();
        QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore,
                        QApplication::activeModalWidget() ? QApplication::activeModalWidget() : this);
        switch (box.exec()) {
        case QMessageBox::Abort: answer = Answer::Abort; break;
        case QMessageBox::Retry: answer = Answer::Retry; break;
        case QMessageBox::Ignore: answer = Answer::Ignore; break;
        default: answer = Answer::Other; break;
        }
    });
    return answer;
}

void TfrmMains::message(const QString& text, const QString& caption, BoxIcon icon) {
    postAndWait([&] {
        deliverProgress();
        QMessageBox::Icon i = QMessageBox::NoIcon;
        if (icon == BoxIcon::Stop) i = QMessageBox::Critical;
        if (icon == BoxIcon::Exclamation) i = QMessageBox::Warning;
        if (icon == BoxIcon::Information) i = QMessageBox::Information;
        QMessageBox box(i, caption, text, QMessageBox::Ok,
                        QApplication::activeModalWidget() ? QApplication::activeModalWidget() : this);
        box.exec();
    });
}

bool TfrmMains::playSound(Sound sound) {
    bool ok = false;
    postAndWait([&] {
        deliverProgress();
        if (QMediaDevices::audioOutputs().isEmpty()) return;
        const char* file = sound == Sound::Chimes ? "chimes.wav" : sound == Sound::Error ? "error.wav" : "notify.wav";
        const std::string path = resolveFile(st_.settings.ProgramDir + "/", file);
        if (!fileExists(path)) return;
        std::unique_ptr<QSoundEffect>& player = sound == Sound::Chimes ? chimes_ : sound == Sound::Error ? error_ : notify_;
        if (!player) player = std::make_unique<QSoundEffect>();
        player->setSource(QUrl::fromLocalFile(QString::fromStdString(path)));
        player->play();
        ok = player->status() != QSoundEffect::Error;
    });
    return ok;
}

void TfrmMains::showChecksum(const QString& text) {
    post([this, text] {
        deliverProgress();
        CheckL->setText(text);
    });
}

}  // namespace tesmar
