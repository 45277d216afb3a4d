#include "devices/gui/TfrmSelectDevice.h"

#include <QDir>
#include <QPainter>

#include "devices/BufferLayout.h"
#include "devices/DeviceDataFile.h"
#include "operations/Host.h"

namespace tesmar {

const char* const kFamilyFileNames[5] = {"zrvusb_r.usb", "zrvusb_e.usb", "zrvusb_s.usb", "zrvusb_m.usb",
                                         "zrvusb_p.usb"};

TfrmSelectDevice::TfrmSelectDevice(AppState& st, QWidget* parent) : QDialog(parent), st_(st) {
    setObjectName("frmSelectDevice");
    setWindowTitle("   Select a Device");
    setModal(true);
    resize(560, 380);
    Label1 = new QLabel("Manufacturer", this);
    Label1->setObjectName("Label1");
    Label1->setGeometry(10, 8, 200, 18);
    Label2 = new QLabel("Device", this);
    Label2->setObjectName("Label2");
    Label2->setGeometry(200, 8, 200, 18);
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName("ListBox1");
    ListBox1->setGeometry(10, 28, 180, 300);
    ListBox2 = new QListWidget(this);
    ListBox2->setObjectName("ListBox2");
    ListBox2->setGeometry(200, 28, 220, 300);
    ListBox2->setFlow(QListView::TopToBottom);
    ListBox2->setWrapping(true);
    ListBox2->setResizeMode(QListView::Adjust);
    static const char* const captions[5] = {"Eprom", "EEprom / Flash", "Serial EEprom", "Micro Contr", "Pld / Bipolar"};
    for (int i = 0; i < 5; ++i) {
        RadioButton[i] = new QRadioButton(captions[i], this);
        RadioButton[i]->setObjectName(QString("RadioButton%1").arg(i + 1));
        RadioButton[i]->setGeometry(430, 28 + 26 * i, 125, 22);
        RadioButton[i]->setProperty("file", kFamilyFileNames[i]);
        connect(RadioButton[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on) {
                RadioButton[i]->setFocus();
                RBClick();
            }
        });
    }
    BitBtn1 = new QPushButton("OK", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(440, 300, 50, 28);
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton("Cancel", this);
    BitBtn2->setObjectName("BitBtn2");
    BitBtn2->setGeometry(495, 300, 60, 28);
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmSelectDevice::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TfrmSelectDevice::BitBtn2Click);
    // A change of the current item by mouse or keyboard is the user's click;
    // the lists' own refills are not. A click on the manufacturer already
    // chosen changes no row but still starts its device list over.
    connect(ListBox1, &QListWidget::currentRowChanged, this, [this] {
        if (!loading_) ListBox1Click();
    });
    connect(ListBox1, &QListWidget::itemClicked, this, [this] {
        if (!loading_) ListBox1Click();
    });
    connect(ListBox2, &QListWidget::currentRowChanged, this, [this] {
        if (!loading_) ListBox2Click();
    });
    connect(ListBox2, &QListWidget::itemDoubleClicked, this, &TfrmSelectDevice::BitBtn1Click);
}

void TfrmSelectDevice::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!shownOnce_) {
        shownOnce_ = true;
        FormShow();
    }
}

QString TfrmSelectDevice::filePath() const {
    return QDir(QString::fromStdString(st_.settings.ProgramDir)).filePath(QString::fromStdString(st_.settings.DeviceFileName));
}

void TfrmSelectDevice::FormShow() {
    SelectDialogShown = false;
    for (int i = 0; i < 5; ++i) {
        const bool present = (st_.AvailableFamilies >> i) & 1u;
        RadioButton[i]->setEnabled(present);
        if (!present) continue;
        if (st_.settings.DeviceFileName.empty()) st_.settings.DeviceFileName = kFamilyFileNames[i];
        if (st_.settings.DeviceFileName == kFamilyFileNames[i]) RadioButton[i]->setChecked(true);
    }
    LoadDeviceLists(3);
    SelectDialogShown = true;
}

void TfrmSelectDevice::RBClick() {
    auto* rb = qobject_cast<QRadioButton*>(sender());
    if (!rb || !rb->isChecked()) {
        for (QRadioButton* r : RadioButton)
            if (r->isChecked()) rb = r;
    }
    if (!rb) return;
    st_.settings.DeviceFileName = rb->property("file").toString().toStdString();
    if (SelectDialogShown) {
        st_.settings.ManufacturerIndex = st_.settings.DeviceIndex = 0;
    }
    LoadDeviceLists(3);
}

void TfrmSelectDevice::LoadDeviceLists(int which) {
    const bool wasLoading = loading_;
    loading_ = true;
    loadLists(which);
    loading_ = wasLoading;
}

void TfrmSelectDevice::loadLists(int which) {
    DeviceDataFile file;
    if (!file.open(filePath().toStdString())) {
        if (st_.host)
            st_.host->message(QString::fromStdString(st_.settings.DeviceFileName), " File Not Found ", BoxIcon::Stop);
        ListBox1->clear();
        ListBox2->clear();
        st_.settings.ManufacturerIndex = st_.settings.DeviceIndex = -1;
        return;
    }
    if (which & 1) {
        ListBox1->clear();
        for (const std::string& name : file.manufacturers()) ListBox1->addItem(QString::fromLatin1(name.c_str()));
    }
    if (which & 2) {
        ListBox2->clear();
        for (const std::string& name : file.deviceNames(st_.settings.ManufacturerIndex))
            ListBox2->addItem(QString::fromLatin1(name.c_str()));
    }
    // An index outside the list selects nothing.
    if (which & 1) ListBox1->setCurrentRow(st_.settings.ManufacturerIndex < ListBox1->count() ? st_.settings.ManufacturerIndex : -1);
    if (which & 2) ListBox2->setCurrentRow(st_.settings.DeviceIndex < ListBox2->count() ? st_.settings.DeviceIndex : -1);
}

void TfrmSelectDevice::ListBox1Click() {
    st_.settings.ManufacturerIndex = ListBox1->currentRow();
    st_.settings.DeviceIndex = 0;
    LoadDeviceLists(2);
}

void TfrmSelectDevice::ListBox2Click() { st_.settings.DeviceIndex = ListBox2->currentRow(); }

void TfrmSelectDevice::BitBtn1Click() {
    const int m = st_.settings.ManufacturerIndex, d = st_.settings.DeviceIndex;
    choice_.reset();
    if (m < 0 || d < 0 || m >= ListBox1->count() || d >= ListBox2->count()) {
        reject();  // no complete choice: counts as cancelled
        return;
    }
    DeviceDataFile file;
    if (file.open(filePath().toStdString())) {
        if (auto rec = file.record(m, d); rec && recordIsUsable(*rec))
            choice_ = Choice{*rec, ListBox1->item(m)->text(), ListBox2->item(d)->text()};
    }
    if (choice_)
        accept();
    else
        reject();
}

void TfrmSelectDevice::BitBtn2Click() { reject(); }

// ---------------------------------------------------------------- TInsertDisplay

TInsertDisplay::TInsertDisplay(QWidget* parent) : QDialog(parent) {
    setObjectName("InsertDisplay");
    setWindowTitle("NOTE!!");
    setFixedSize(300, 560);
    OKAY = new QPushButton("OK", this);
    OKAY->setObjectName("OKAY");
    OKAY->setGeometry(110, 520, 80, 28);
    connect(OKAY, &QPushButton::clicked, this, &TInsertDisplay::OKAYClick);
}

void TInsertDisplay::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int top = 20, pitch = 24, left = 70, right = 230;
    p.setPen(Qt::black);
    p.drawRect(left - 10, top - 10, right - left + 20, 20 * pitch + 10);  // socket
    for (int i = 0; i < 20; ++i) {
        const int y = top + i * pitch;
        p.drawText(left - 50, y + 12, QString::number(i + 1));
        p.drawText(right + 20, y + 12, QString::number(40 - i));
        p.drawRect(left, y, 12, 12);
        p.drawRect(right - 12, y, 12, 12);
    }
    // The chip outline over the top rows and the pin-1 marker beside socket pin 10.
    p.setBrush(QColor(60, 60, 60));
    p.drawRect(left + 18, top - 4, right - left - 36, 10 * pitch);
    p.setBrush(Qt::red);
    p.setPen(Qt::red);
    const int y10 = top + 9 * pitch;
    p.drawEllipse(left + 22, y10, 10, 10);
    p.drawText(left + 36, y10 + 10, "Pin1");
}

}  // namespace tesmar
