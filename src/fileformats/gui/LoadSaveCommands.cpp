#include "fileformats/gui/LoadSaveCommands.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

#include "fileformats/LoadSave.h"
#include "fileformats/gui/TfrmFileFormat.h"
#include "fileformats/gui/TfrmLoad_Save.h"
#include "operations/Checksum.h"
#include "operations/Report.h"

namespace tesmar {
namespace {

// Gives LoadFile/SaveFile a progress window for the length of one command,
// unless the main window already provides one.
class ProgressWindows {
public:
    ProgressWindows(AppState& st, QWidget* owner) : st_(st), installed_(!st.openFileProgress) {
        if (installed_) st_.openFileProgress = [owner] { return TfrmLoad_Save::open(owner); };
    }
    ~ProgressWindows() {
        if (installed_) st_.openFileProgress = nullptr;
    }

private:
    AppState& st_;
    bool installed_;
};

QString startFolder(const AppState& st) {
    return st.settings.LoadSavePath.empty() ? QDir::currentPath() : QString::fromStdString(st.settings.LoadSavePath);
}

// The folder the next dialog starts in: that of the file chosen, however it
// was chosen (a typed or pasted path leaves the dialog's view where it was),
// else the folder the user last looked at.
void rememberFolder(AppState& st, const QFileDialog& dialog, bool chosen) {
    const QString folder = chosen && !dialog.selectedFiles().isEmpty()
                               ? QFileInfo(dialog.selectedFiles().first()).absolutePath()
                               : dialog.directory().absolutePath();
    st.settings.LoadSavePath = folder.left(259).toStdString();
}

// Patterns list both letter cases: the file system here tells them apart.
const QString kIntelHex = "Intel Hex (*.HEX *.hex)";
const QString kMotorola = "Motorola (*.MOT *.mot)";
const QString kBinary = "Binary (*.BIN *.bin)";
const QString kAllFiles = "All Files (*)";

bool parseHex(const QString& text, std::uint32_t& value) {
    bool ok = false;
    const std::uint32_t v = text.trimmed().toUInt(&ok, 16);
    if (ok) value = v;
    return ok;
}

}  // namespace

QStringList loadFilters(char kind) {
    if (kind == 'C') return {"Inh8m (*.HEX *.hex)", kAllFiles};
    if (kind == 'P') return {"Jedec (*.JED *.jed)", kAllFiles};
    return {kIntelHex, kMotorola, kBinary, kAllFiles};
}

QStringList saveFilters(char kind) { return loadFilters(kind); }

void LoadButtonClick(AppState& st, QWidget* owner, QFileDialog& loadDialog, QFileDialog& saveDialog, QString& FileName) {
    if (st.ProgrammerState == 0) return;
    const DeviceRecord* rec = st.dev();
    const char kind = rec ? rec->FamilyLetter : 0;
    const QStringList filters = loadFilters(kind);
    if (kind == 'C' || kind == 'P') st.settings.FileTypeIndex = 1;

    loadDialog.setDirectory(startFolder(st));
    loadDialog.setAcceptMode(QFileDialog::AcceptOpen);
    loadDialog.setFileMode(QFileDialog::ExistingFile);
    loadDialog.setNameFilters(filters);
    const int index = std::clamp<int>(st.settings.FileTypeIndex, 1, int(filters.size()));
    loadDialog.selectNameFilter(filters[index - 1]);
    loadDialog.selectFile(QString());
    st.file.SaveMode = 0;

    const bool chosen = rec && loadDialog.exec() == QDialog::Accepted && !loadDialog.selectedFiles().isEmpty();
    if (chosen) {
        const int filter = std::max<int>(1, int(filters.indexOf(loadDialog.selectedNameFilter())) + 1);
        st.settings.FileTypeIndex = filter;
        FileName = loadDialog.selectedFiles().first();
        saveDialog.selectFile(FileName);
        st.file.FileFormat = std::int8_t(kind == 'C' ? 3 : kind == 'P' ? 5 : filter - 1);
        if (kind != 'P') {
            TfrmFileFormat dialog(st, owner);
            dialog.exec();
        }
        if (st.file.FileFormat != -1 && st.ProgrammerState == 1) {
            ProgressWindows windows(st, owner);
            LoadFile(st, FileName);
        }
    }
    UpdateChecksum(st);
    rememberFolder(st, loadDialog, chosen);
}

void SaveButtonClick(AppState& st, QWidget* owner, QFileDialog& saveDialog, QLabel& FileL) {
    if (st.ProgrammerState == 0) return;
    const DeviceRecord* rec = st.dev();
    const char kind = rec ? rec->FamilyLetter : 0;

    // The filter the user chose last time stays chosen.
    const QString previous = saveDialog.selectedNameFilter();
    const QStringList filters = saveFilters(kind);
    saveDialog.setDirectory(startFolder(st));
    saveDialog.setAcceptMode(QFileDialog::AcceptSave);
    saveDialog.setFileMode(QFileDialog::AnyFile);
    saveDialog.setNameFilters(filters);
    if (filters.contains(previous)) saveDialog.selectNameFilter(previous);

    const bool chosen = rec && saveDialog.exec() == QDialog::Accepted && !saveDialog.selectedFiles().isEmpty();
    if (chosen) {
        const QString name = saveDialog.selectedFiles().first();
        st.file.FileFormat = std::int8_t(kind == 'C' ? 3 : kind == 'P' ? 5 : 0);
        st.file.SaveMode = 1;
        st.file.SaveStart = 0;
        st.file.SaveStop = rec->LastAddress;
        bool rangeRead = true;
        if (kind != 'P') {
            TfrmFileFormat dialog(st, owner);
            dialog.exec();
            // The fields are taken even after Cancel; only a save needs them to be valid.
            for (QLineEdit* edit : {dialog.Edit2, dialog.Edit3}) {
                std::uint32_t& target = edit == dialog.Edit2 ? st.file.SaveStart : st.file.SaveStop;
                if (!parseHex(edit->text(), target) && rangeRead && st.file.FileFormat != -1) {
                    rangeRead = false;
                    QMessageBox::warning(owner, "Tesmar", "'$" + edit->text() + "' is not a valid integer value");
                }
            }
        }
        if (rangeRead && st.file.FileFormat != -1 && st.ProgrammerState == 1) {
            ProgressWindows windows(st, owner);
            if (SaveFile(st, name)) {
                FileL.setText(name);
                memo(st, " File " + name + " saved");
            }
        }
    }
    rememberFolder(st, saveDialog, chosen);
}

}  // namespace tesmar
