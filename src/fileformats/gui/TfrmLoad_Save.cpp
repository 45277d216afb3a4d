#include "fileformats/gui/TfrmLoad_Save.h"

#include <QCoreApplication>
#include <QPointer>
#include <QProgressBar>
#include <QVBoxLayout>

namespace tesmar {

TfrmLoad_Save::TfrmLoad_Save(QWidget* owner)
    : QWidget(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("frmLoad_Save");
    setWindowTitle("Load File");
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(192, 192, 192));
    setPalette(pal);
    setAutoFillBackground(true);
    L_Sbar = new QProgressBar(this);
    L_Sbar->setObjectName("L_Sbar");
    L_Sbar->setRange(0, 100);
    L_Sbar->setValue(0);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(L_Sbar);
    setFixedSize(320, 60);
    if (owner) move(owner->geometry().center() - rect().center());
}

void TfrmLoad_Save::setCaption(const QString& caption) {
    setWindowTitle(caption);
    show();
    // Let the window appear before the file work takes the thread.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TfrmLoad_Save::setPosition(int percent) {
    L_Sbar->setValue(percent);
    L_Sbar->repaint();
}

void TfrmLoad_Save::close() { hide(); }

std::shared_ptr<FileProgress> TfrmLoad_Save::open(QWidget* owner) {
    QPointer<TfrmLoad_Save> w = new TfrmLoad_Save(owner);
    return std::shared_ptr<FileProgress>(w.data(), [w](FileProgress*) { delete w.data(); });
}

}  // namespace tesmar
