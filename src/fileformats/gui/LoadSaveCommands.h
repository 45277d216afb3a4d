#pragma once
// The main window's Load and Save buttons: the file dialog, the file-format
// dialog, then LoadFile / SaveFile with the progress window.
#include <QString>

#include "app/AppState.h"

class QFileDialog;
class QLabel;
class QWidget;

namespace tesmar {

// `FileName` is the main window's last chosen file; both dialogs belong to the
// main window (DontUseNativeDialog, so tests can drive them).
void LoadButtonClick(AppState& st, QWidget* owner, QFileDialog& loadDialog, QFileDialog& saveDialog, QString& FileName);
// `FileL` is the main window's "File:" label.
void SaveButtonClick(AppState& st, QWidget* owner, QFileDialog& saveDialog, QLabel& FileL);

// The filters of the two dialogs for a family letter.
QStringList loadFilters(char kind);
QStringList saveFilters(char kind);

}  // namespace tesmar
