#pragma once
// Shared set-up of the editor tests: device records from raw images, an
// image sized and pre-filled as a selection leaves it, the editor on it, and
// answering the modal boxes and dialogs the editor opens.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "devices/BufferLayout.h"
#include "editors/HexEditing.h"
#include "editors/gui/THexEditor.h"
#include "operations/Checksum.h"
#include "support/RecordImage.h"
#include "support/TestSupport.h"

namespace tesmar::test {

// The state a device selection leaves: buffer sized, erased, checksum taken.
struct EditorRig {
    AppState st;
    RecorderHost host;

    explicit EditorRig(const RecordSpec& shape) {
        const DeviceRecord rec = shape.record();
        st.host = &host;
        st.CurrentDevice = std::make_shared<DeviceRecord>(rec);
        allocateForSelection(st.buf, rec);
        prefillErased(st.buf, rec);
        UpdateChecksum(st);
    }
    std::uint8_t at(std::size_t i) const { return st.buf.DeviceBuffer.at(i); }
    QString expectedChecksumText() const {
        return QString::asprintf("0x%.4X", unsigned(computeChecksum(st.buf, st.dev()) & 0xFFFF));
    }
};

// The hex editor shown on a fresh rig.
class EditorFixture : public ::testing::Test {
protected:
    void open(const RecordSpec& shape) {
        rig = std::make_unique<EditorRig>(shape);
        ed = std::make_unique<THexEditor>(rig->st);
        ed->show();
    }
    // The page shown, the cell selected and its address.
    void expectSelected(std::uint32_t page, int row, int col) {
        EXPECT_EQ(ed->pageOffset(), page);
        EXPECT_EQ(ed->selectedRow(), row);
        EXPECT_EQ(ed->selectedCol(), col);
        EXPECT_EQ(ed->CurrAdd->text(), hex8(ed->selectedOffset()));
    }

    std::unique_ptr<EditorRig> rig;
    std::unique_ptr<THexEditor> ed;
};

// Runs act once on the next modal widget of type T (polled, so it may be
// scheduled before the click that opens it).
template <class T>
void whenModal(std::function<void(T*)> act) {
    auto* timer = new QTimer;
    auto deadline = std::make_shared<QDeadlineTimer>(5000);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, deadline, act]() {
        if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(w);
        } else if (deadline->hasExpired()) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

struct SeenBox {
    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool seen = false;
};

// Answers the next message box with OK and records it.
inline std::shared_ptr<SeenBox> answerNextBox() {
    auto seen = std::make_shared<SeenBox>();
    whenModal<QMessageBox>([seen](QMessageBox* box) {
        seen->caption = box->windowTitle();
        seen->text = box->text();
        seen->icon = box->icon();
        seen->seen = true;
        box->button(QMessageBox::Ok)->click();
    });
    return seen;
}

inline void clickCell(QTableView* grid, int row, int col) {
    const QRect r = grid->visualRect(grid->model()->index(row, col));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, r.center());
}

inline QString cellText(QTableView* grid, int row, int col) {
    return grid->model()->index(row, col).data().toString();
}

}  // namespace tesmar::test
