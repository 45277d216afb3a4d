// The Select button: choose a device, size the image, prepare the programmer.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>

#include "app/Paths.h"
#include "app/gui/Commands.h"
#include "app/gui/TfrmMains.h"
#include "devices/BufferLayout.h"
#include "devices/DeviceHints.h"
#include "devices/gui/TfrmSelectDevice.h"
#include "families/PldGeometry.h"
#include "link/Link.h"
#include "link/UsbPort.h"
#include "operations/Checksum.h"
#include "operations/Dispatch.h"
#include "operations/Report.h"

namespace tesmar {

namespace {

// The Lock/Options exchange: PLDs get Lock where Options stood.
void exchangeLockButton(TfrmMains& w, char letter) {
    if (letter == 'P') {
        w.SB_Lock->show();
        w.setButton(w.SB_Lock, true);
        w.SB_IcTest->hide();
        if (w.SB_Option->x() < w.SB_Lock->x()) {
            const int optionX = w.SB_Option->x();
            w.SB_Option->move(w.SB_IcTest->x(), w.SB_Option->y());
            w.SB_Lock->move(optionX, w.SB_Lock->y());
        }
    } else if (!w.SB_Lock->isHidden()) {
        w.SB_Lock->hide();
        w.setButton(w.SB_Lock, false);
        const int lockX = w.SB_Lock->x();
        w.SB_Lock->move(w.SB_IcTest->x(), w.SB_Lock->y());
        w.SB_Option->move(lockX, w.SB_Option->y());
    }
}

void applyChoice(TfrmMains& w, const TfrmSelectDevice::Choice& c) {
    AppState& st = w.state();
    w.Memo1->clear();
    w.ManuL->setText(c.manufacturer);
    w.DevL->setText(c.device);
    memo(st, " Selected : " + c.manufacturer + "  " + c.device);
    st.CurrentDevice = std::make_shared<const DeviceRecord>(c.record);
    // No PLD value of the last part (its signature, its file's secure flag) carries over.
    st.pld = PldRunState{};
    const DeviceRecord& rec = *st.CurrentDevice;
    allocateForSelection(st.buf, rec);
    const DeviceLabels labels = deviceLabels(rec);
    w.ManIDL->setText(labels.manId);
    w.DevIDL->setText(labels.devId);
    w.DevIDL2->setText(labels.devId2);
    w.SizeL->setText(labels.size);
    w.VccL->setText(labels.vcc);
    w.VppL->setText(labels.vpp);
    const DeviceHints hints = ShowDeviceHints(rec);
    w.AdapL->setText(hints.adapter);
    w.ComL->setText(hints.comment);
    if (hints.capacitorWarning) st.host->message(kCapacitorNote, "Attention", BoxIcon::None);
    if (rec.FamilyLetter == 'M' || rec.FamilyLetter == 'C') {
        memo(st, " ***  Select Programming Steps : Prog / ID / Data / Config in OPTIONS ***");
        PlayNotifySound(st);
    }
}

}  // namespace

void runSelection(TfrmMains& w) {
    AppState& st = w.state();
    st.ErrorFlag = 0;
    st.OddEvenMode = 0;
    QDir::setCurrent(QString::fromStdString(st.settings.ProgramDir));
    st.SelectCancelled = 0;
    if ((st.AvailableFamilies & 0x1F) == 0) {
        st.host->message(" No Device Files Found ", "", BoxIcon::Stop);
        return;
    }
    const int oldManufacturer = st.settings.ManufacturerIndex, oldDevice = st.settings.DeviceIndex;

    {
        TfrmSelectDevice dialog(st, &w);
        dialog.exec();
        if (dialog.result() == QDialog::Accepted && dialog.choice())
            applyChoice(w, *dialog.choice());
        else
            st.SelectCancelled = 1;
    }
    QCoreApplication::processEvents();
    QElapsedTimer clock;
    clock.start();
    if (st.ProgrammerState != 1 || st.SelectCancelled) return;

    const DeviceRecord& rec = *st.CurrentDevice;
    for (QToolButton* b : w.deviceButtons()) w.setButton(b, false);
    w.setButton(w.SB_IcTest, false);
    w.setButton(w.SB_Lock, false);

    ReopenForSelection(st);
    if (!st.usb || !st.usb->isOpen()) {
        // The programmer is gone: DEMO mode, nothing is written to a dead handle.
        st.ProgrammerState = 0;
        w.setButton(w.SB_IcTest, haveIcTester());
        return;
    }
    if (st.ErrorFlag.get() == 0) SendFpgaFile(st, resolveFile(st.FirmwareDir, rec.FpgaFile + ".rbf"));
    if (st.ErrorFlag.get() == 0) SendMcuFile(st, resolveFile(st.McuFirmwareDir, rec.McuFile + ".bin"));
    if (st.ErrorFlag.get() == 0) SendDeviceParameters(st);
    memo(st, elapsedLine(clock.elapsed()));

    prefillErased(st.buf, rec);
    UpdateChecksum(st);
    if (rec.isPic18()) SetPic18DefaultConfig(st.buf, rec);
    if (st.settings.ManufacturerIndex != oldManufacturer || st.settings.DeviceIndex != oldDevice) {
        st.settings.ProgramSteps = 1;
        st.settings.InsertionTest = (rec.DefaultOptions >> 0) & 1;
        st.settings.IdCheckOption = (rec.DefaultOptions >> 2) & 1;
        st.settings.VerifyMaxMin = (rec.DefaultOptions >> 3) & 1;
    }
    if (rec.FamilyLetter == 'C' && st.settings.ProgramSteps == 1) st.settings.ProgramSteps = rec.StepMask & 0x17;
    st.buf.BufferCursor = 0;
    w.enableFromRecord(rec);
    exchangeLockButton(w, rec.FamilyLetter);
    // A PLD whose algorithm names no fuse geometry can be neither filed, edited nor programmed.
    if (rec.FamilyLetter == 'P' && !pldHasGeometry(rec)) memo(st, " ID Error  Device ");
    if (rec.FamilyLetter == 'M' && (rec.PageCode == 203 || rec.PageCode == 209)) {
        TInsertDisplay note(&w);
        note.exec();
    }
    if (rec.FamilyLetter == 'M') {
        st.mcu.FuseLow = st.mcu.FuseHigh = st.mcu.FuseExt = 0;
        if (rec.Algorithm == 35) {
            st.settings.ProgramSteps = 3;
            st.mcu.FuseLow = 0xFF;
        }
        // Only the steps this part has: steps kept from another part (the
        // same list places in another family) could program lock bits.
        st.settings.ProgramSteps &= rec.StepMask;
        // The values above are not this chip's: a Program leaves its fuses,
        // locks and security bits alone until they are set or read.
        st.mcu.McuConfigKnown = false;
        // Nor are the calibration bytes: storing one needs a read of this chip
        // and a new choice in Config.
        st.mcu.ProgramCalibration = 0;
        st.mcu.CalibrationRead = false;
    }
    if (st.onDeviceSelected) st.onDeviceSelected(rec);
}

}  // namespace tesmar
