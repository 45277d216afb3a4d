#include "operations/gui/TProgressForm.h"

namespace tesmar {

TProgressForm::TProgressForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint) {
    setObjectName("ProgressForm");
    setFixedSize(617, 72);
    ProgRun = new QProgressBar(this);
    ProgRun->setObjectName("ProgRun");
    ProgRun->setGeometry(10, 20, 490, 28);
    ProgRun->setRange(0, 100);
    ProgRun->setValue(0);
    // Navy on a light background; the figure is drawn in the highlight's text
    // colour where it stands over the bar, so it stays readable there.
    QPalette pal = ProgRun->palette();
    pal.setColor(QPalette::Highlight, QColor(0, 0, 128));
    pal.setColor(QPalette::HighlightedText, Qt::white);
    ProgRun->setPalette(pal);
    BitBtn1 = new QPushButton("Abort", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(512, 20, 95, 28);
    connect(BitBtn1, &QPushButton::clicked, this, &TProgressForm::BitBtn1Click);
}

void TProgressForm::setGauge(int maximum, int position) {
    // The bar works in thousandths so any device size fits its int range.
    ProgRun->setRange(0, 1000);
    ProgRun->setValue(maximum > 0 ? int((long long)std::clamp(position, 0, maximum) * 1000 / maximum) : 0);
}

void TProgressForm::closeOnce() {
    if (closed_) return;
    closed_ = true;
    hide();
    done(QDialog::Accepted);
}

void TProgressForm::run() {
    if (!closed_) exec();
}

void TProgressForm::reject() {}

void TProgressForm::BitBtn1Click() {
    if (closed_) return;
    hide();
    if (onAbort) onAbort();
    closeOnce();
}

}  // namespace tesmar
