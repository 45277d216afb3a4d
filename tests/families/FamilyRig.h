#pragma once
// A device family on the bench: the simulated programmer behind the real
// UsbPort, a recording host whose prompts and gauge can act (swap a chip,
// press Abort), and an AppState with a selected device and its image.
#include <gtest/gtest.h>

#include <QString>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/AppState.h"
#include "devices/BufferLayout.h"
#include "devices/DeviceRecord.h"
#include "link/Protocol.h"
#include "operations/Checksum.h"
#include "sim/ForwardingPort.h"
#include "sim/SimProgrammer.h"
#include "support/Bytes.h"
#include "support/RecordImage.h"
#include "support/TestSupport.h"

namespace tesmar::test {

inline Bytes word(const char* four) { return Bytes(four, four + 4); }
inline Bytes frameBytes(char a, char b, std::uint8_t c = 0, std::uint8_t d = 0) {
    return Bytes{std::uint8_t(a), std::uint8_t(b), c, d};
}

// Every toolbar capability, erase included.
constexpr std::uint16_t kAllButtons = 0x05FF;

// A recording host whose message boxes and gauge can run test code.
class BenchHost : public RecorderHost {
public:
    std::function<void(const QString& text)> onMessage;
    std::function<void(int maximum, int position)> onGauge;
    std::function<void()> onQuestion;

    void message(const QString& text, const QString& caption, BoxIcon icon) override {
        RecorderHost::message(text, caption, icon);
        if (onMessage) onMessage(text);
    }
    Answer askAbortRetryIgnore(const QString& text, const QString& caption) override {
        if (onQuestion) onQuestion();
        return RecorderHost::askAbortRetryIgnore(text, caption);
    }
    void setGauge(int maximum, int position) override {
        RecorderHost::setGauge(maximum, position);
        if (onGauge) onGauge(maximum, position);
    }
};

struct FamilyRig {
    sim::SimProgrammer sim;
    BenchHost host;
    AppState st;

    explicit FamilyRig(const DeviceRecord& rec) {
        sim.open(proto::kDescription, proto::kOpenFlagsConnect);
        st.usb = &sim;
        st.host = &host;
        st.ProgrammerState = 1;
        select(rec);
    }

    // A selection with a programmer present: the image at the device's size,
    // erased, and a blank chip of the device in the socket.
    void select(const DeviceRecord& rec) {
        st.CurrentDevice = std::make_shared<const DeviceRecord>(rec);
        allocateForSelection(st.buf, rec);
        prefillErased(st.buf, rec);
        sim.insertBlankChipFor(rec);
        sim.clearLog();
    }
    const DeviceRecord& dev() const { return *st.CurrentDevice; }

    // What the toolbar does before the worker starts: the operation's letter
    // and RunFlag set. The run's letter is kept apart from OperationCode,
    // which the family routines change during a Program.
    void startRun(char op) {
        st.OperationCode = op;
        runOperation = op;
        st.RunFlag = 1;
    }
    // What the Abort button does: RunFlag cleared and, except in a Program
    // (decided by the run, not by OperationCode), "Stop" written to the programmer.
    void pressAbort() {
        st.RunFlag = 0;
        if (runOperation != 'P') sim.write(std::string("Stop"));
        hostBytesAtAbort = sim.hostBytes().size();
    }
    char runOperation = 0;
    // What the programmer had been sent when Abort was pressed.
    std::size_t hostBytesAtAbort = 0;
    // Presses Abort the `nth` time the gauge climbs to `position` (1 = the first).
    void abortAtGauge(int position, int nth = 1) {
        auto crossings = std::make_shared<int>(0);
        auto last = std::make_shared<int>(0);
        host.onGauge = [this, position, nth, crossings, last](int, int pos) {
            const bool crossed = *last < position && pos >= position;
            *last = pos;
            if (crossed && ++*crossings == nth && st.RunFlag.load() != 0) pressAbort();
        };
    }

    Bytes image(std::size_t from, std::size_t n) const {
        return Bytes(st.buf.DeviceBuffer.begin() + std::ptrdiff_t(from),
                     st.buf.DeviceBuffer.begin() + std::ptrdiff_t(from + n));
    }
    void fillImage(const Bytes& b, std::size_t from = 0) {
        std::copy(b.begin(), b.end(), st.buf.DeviceBuffer.begin() + std::ptrdiff_t(from));
    }
    QString shownChecksum() const {
        return QString::asprintf("0x%.4X", unsigned(computeChecksum(st.buf, st.dev()) & 0xFFFF));
    }
};

// The hardware port's waits kept in virtual time, over the simulated
// programmer: a plain read that comes back short has sat out its whole read
// time-out, a queue wait that finds too little its whole slice, and a read
// that may give up asks every 10 ms until its time-out (the real question is
// asked, so the Abort rule keeps its own clock). The first wait that finds
// the line silent presses Abort; the waits after it are added up, so a test
// bounds the run after Abort without a clock of its own.
class SilentLinePort : public sim::ForwardingPort {
public:
    explicit SilentLinePort(FamilyRig& rig) : ForwardingPort(rig.sim), rig_(rig), sim_(rig.sim) {}
    std::chrono::milliseconds afterAbort{0};
    bool pressed = false;

    int read(std::uint8_t* buf, std::uint32_t len, std::uint32_t& got) override {
        const int rc = sim_.read(buf, len, got);
        if (rc == UsbOk && got < len) {
            const bool counting = pressed;
            silence();
            if (counting) afterAbort += std::chrono::milliseconds(sim_.readTimeoutMs());
        }
        return rc;
    }
    int readUnless(std::uint8_t* buf, std::uint32_t len, std::uint32_t& got,
                   const std::function<bool()>& giveUp) override {
        using std::chrono::milliseconds;
        const int rc = sim_.read(buf, len, got);
        if (rc != UsbOk || got >= len) return rc;
        silence();
        milliseconds waited{0};
        while (waited < milliseconds(sim_.readTimeoutMs()) && !(giveUp && giveUp())) {
            std::this_thread::sleep_for(milliseconds(10));
            waited += milliseconds(10);
        }
        afterAbort += waited;
        return rc;
    }
    int waitQueue(std::uint32_t atLeast, std::chrono::microseconds maxWait, std::uint32_t& queued) override {
        const bool counting = pressed;
        const int rc = sim_.waitQueue(atLeast, maxWait, queued);
        if (rc == UsbOk && queued < atLeast) {
            silence();
            if (counting) afterAbort += std::chrono::ceil<std::chrono::milliseconds>(maxWait);
        }
        return rc;
    }

private:
    void silence() {
        if (pressed) return;
        pressed = true;
        rig_.pressAbort();
    }
    FamilyRig& rig_;
    sim::SimProgrammer& sim_;
};

// How a family's chip-ID check answers each way of closing the "CHIP_ID Error"
// box: whether the operation goes on and how many boxes (and ID frames) it took.
struct SignatureAnswerCase {
    const char* name;
    std::vector<Answer> answers;
    bool goesOn;
    int boxes;
};

inline const std::vector<SignatureAnswerCase>& signatureAnswerCases() {
    static const std::vector<SignatureAnswerCase> cases = {
        {"abort", {Answer::Abort}, false, 1},
        {"ignore", {Answer::Ignore}, true, 1},
        {"retry then abort", {Answer::Retry, Answer::Retry, Answer::Abort}, false, 3},
        {"retry then ignore", {Answer::Retry, Answer::Ignore}, true, 2},
        {"another answer", {Answer::Other}, true, 1},
    };
    return cases;
}

}  // namespace tesmar::test
