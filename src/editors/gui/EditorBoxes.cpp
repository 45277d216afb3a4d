#include "editors/gui/EditorBoxes.h"

#include <QMessageBox>

namespace tesmar {
namespace {

void box(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text) {
    QMessageBox mb(icon, caption, text, QMessageBox::Ok, parent);
    mb.exec();
}

}  // namespace

void editorError(QWidget* parent, const QString& text) { box(parent, QMessageBox::Critical, "Error", text); }

void editorInformation(QWidget* parent, const QString& text) {
    box(parent, QMessageBox::Information, "Information", text);
}

void editorStop(QWidget* parent, const QString& text, const QString& caption) {
    box(parent, QMessageBox::Critical, caption, text);
}

void notHexError(QWidget* parent, const QString& fieldText) {
    box(parent, QMessageBox::Critical, "Tesmar", QString("'%1' is not a valid hexadecimal value").arg(fieldText));
}

}  // namespace tesmar
