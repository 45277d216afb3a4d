#pragma once
// Shared set-up of the editor tests: device records from raw images, an
// image sized and pre-filled as a selection leaves it, and answering the
// modal boxes and dialogs the editor opens.
#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "devices/BufferLayout.h"
#include "operations/Checksum.h"
#include "support/TestSupport.h"

namespace tesmar::test {

struct RecordSpec {
    char letter = 'R';
    std::uint32_t lastAddress = 0x7FF;
    std::int8_t algorithm = 0;
    std::uint8_t pageCode = 0;
    std::uint8_t blank = 0xFF;
    std::uint16_t dataEeprom = 0;
};

inline DeviceRecord makeRecord(const RecordSpec& s) {
    std::array<std::uint8_t, kDeviceRecordSize> raw{};
    raw[0x00] = std::uint8_t(s.algorithm);
    raw[0x01] = std::uint8_t(s.letter);
    for (int i = 0; i < 4; ++i) raw[0x26 + i] = std::uint8_t(s.lastAddress >> (8 * i));
    raw[0x6E] = s.pageCode;
    raw[0x78] = s.blank;
    raw[0x7A] = std::uint8_t(s.dataEeprom);
    raw[0x7B] = std::uint8_t(s.dataEeprom >> 8);
    return DeviceRecord::fromImage(raw.data());
}

// The state a device selection leaves: buffer sized, erased, checksum taken.
struct EditorRig {
    AppState st;
    RecorderHost host;

    explicit EditorRig(const RecordSpec& spec) {
        const DeviceRecord rec = makeRecord(spec);
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
