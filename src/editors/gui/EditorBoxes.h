#pragma once
// The message boxes of the hex editor and its dialogs. Each blocks until the
// user answers.
#include <QString>

class QWidget;

namespace tesmar {

// Error icon, caption "Error", OK button.
void editorError(QWidget* parent, const QString& text);
// Information icon, caption "Information", OK button.
void editorInformation(QWidget* parent, const QString& text);
// Stop icon with the given caption, OK button.
void editorStop(QWidget* parent, const QString& text, const QString& caption);
// The number-conversion error for an entry field that is not a hexadecimal number.
void notHexError(QWidget* parent, const QString& fieldText);

}  // namespace tesmar
