#include "ictest/IcTester.h"

#include <QElapsedTimer>

#include "app/Paths.h"
#include "ictest/IcDatabase.h"
#include "link/Link.h"
#include "link/Replies.h"
#include "link/UsbPort.h"
#include "operations/Host.h"
#include "operations/Report.h"

namespace tesmar::ictest {

namespace {

constexpr char kDatabaseName[] = "All.usb";
constexpr char kCorrupt[] = "File: ALL.USB is Corrupt";
constexpr char kFirmwareName[] = "ic_test.bin";
constexpr std::uint32_t kTimeoutMs = 500;
constexpr int kRetries = 5;
constexpr std::size_t kAddressSlots = 20;
constexpr std::size_t kDataSlots = 8;
constexpr std::uint8_t kUnusedSlot = 0xC0;
constexpr std::uint8_t kHighestSocketPin = 40;

void box(AppState& st, const QString& text, const QString& caption = QString()) {
    if (st.host) st.host->message(text, caption, BoxIcon::Stop);
}

void corrupt(AppState& st) { box(st, kCorrupt); }

void missingDatabase(AppState& st) { box(st, kDatabaseName, " File Not Found "); }

template <typename C>
void send(AppState& st, const C& bytes) {
    writeBytes(st, bytes.data(), bytes.size());
}

QString latin1(const std::uint8_t* p, std::size_t n) {
    QString s;
    for (std::size_t i = 0; i < n; ++i) s += QChar::fromLatin1(char(p[i]));
    return s;
}

// One attempt over every line of a logic IC's text. Returns false at the
// first line whose answer differs, with that line and the answer.
bool runLines(AppState& st, IcTesterState& t, const IcPower& power, IcTestView& view, QString& failedLine,
              QString& answer) {
    const int pins = t.IcPinCount;
    std::uint16_t clockCount = 1;
    send(st, icOpenFrame(power));
    for (std::size_t cursor = 0; cursor < t.work.size() && t.work[cursor] != 0; cursor += std::size_t(pins)) {
        const std::uint8_t* line = t.work.data() + cursor;
        send(st, icDirectionFrame(line, pins, power));
        view.lineSent();
        send(st, icLevelFrame(line, pins, clockCount));
        if (pins <= 16 && st.usb) {
            std::uint32_t queued = 0;
            st.usb->queueStatus(queued);
        }
        std::uint8_t reply[3] = {};
        readBytes(st, reply, std::uint32_t(replyLength(pins)));
        const std::string result = icResultLine(line, pins, reply);
        if (firstMismatch(line, result) >= 0) {
            st.ErrorFlag.increment();
            failedLine = latin1(line, std::size_t(pins));
            answer = QString::fromLatin1(result.data(), qsizetype(result.size()));
            return false;
        }
    }
    return true;
}

struct PatternStep {
    QString caption;
    int value;  // -1: the running pattern
};

std::vector<PatternStep> patternSteps(int width) {
    const unsigned mask = width >= 8 ? 0xFFu : (1u << width) - 1u;
    auto hex = [mask](int test, unsigned v) {
        return QString::asprintf("Test %d  Data = 0x%.2X", test, v & mask);
    };
    std::vector<PatternStep> steps{{hex(1, 0xA5), int(0xA5 & mask)}, {hex(2, 0x5A), int(0x5A & mask)}};
    if (width > 1) {
        steps.push_back({"Test 3  Data = 0", 0});
        steps.push_back({hex(4, 0xFF), int(0xFF & mask)});
        steps.push_back({"Test 5  Data = Variable", -1});
    } else {
        steps.push_back({"Test 3  Data = Variable", -1});
    }
    return steps;
}

void fillPattern(std::vector<std::uint8_t>& buf, std::size_t n, int value, int width) {
    buf.assign(n, 0);
    if (value >= 0) {
        std::fill(buf.begin(), buf.end(), std::uint8_t(value));
        return;
    }
    const unsigned mask = width >= 8 ? 0xFFu : (1u << width) - 1u;
    std::uint8_t v = 1;
    for (std::size_t i = 0; i < n; ++i) {
        buf[i] = std::uint8_t(v & mask);
        const std::size_t left = n - i - 1;
        v = std::uint8_t(v + (left % 16 ? 14 : 13));
        if (left % 256) v = std::uint8_t(v + 1);
    }
}

// False when a pattern step could not be exchanged with the chip.
bool runMemory(AppState& st, IcTesterState& t, const IcPower& power, IcTestView& view, IcMemoryExchange& exchange) {
    st.ErrorFlag = 0;
    send(st, icOpenFrame(power));
    send(st, icDirectionFrame(t.work.data(), t.IcPinCount, power));
    view.lineSent();
    exchange.prepare(power.supplyCode);

    IcMemoryMap map;
    std::vector<std::uint8_t> text(t.work.begin(), t.work.end());
    while (!text.empty() && text.back() == 0) text.pop_back();
    if (!readMemoryMap(text, t.IcPinCount, map)) {
        // The pass checked the map before it began; a map that fails here has no patterns to run.
        st.ErrorFlag = 1;
        send(st, icCloseFrame());
        view.showMemoryFail();
        return true;
    }

    view.showMemoryTest(int(map.size));
    PatternResult result = PatternResult::Passed;
    for (const PatternStep& step : patternSteps(map.width)) {
        view.setMemoryProgress(0);
        fillPattern(t.work, map.size, step.value, map.width);
        view.setMemoryProgress(int(map.size));
        view.setMemoryCaption(step.caption);
        result = exchange.exchange(map, t.work.data(), t.work.size());
        if (result != PatternResult::Passed) break;
    }
    send(st, icCloseFrame());
    switch (result) {
    case PatternResult::Passed: view.showPass(); break;
    case PatternResult::Failed:
        st.ErrorFlag = 1;
        view.showMemoryFail();
        break;
    case PatternResult::NotTested: view.showMemoryNotTested(); break;
    }
    return result != PatternResult::NotTested;
}

// What a pass must know about the IC before its vectors run.
struct PassSetup {
    IcEntry entry;
    IcPower power;
};

// Steps of one pass up to the vector run. False (ErrorFlag set) when the IC
// cannot be tested; the boxes have been shown.
bool preparePass(AppState& st, IcTesterState& t, PassSetup& setup) {
    IcDatabase db;
    if (!db.load(icDatabasePath(st))) {
        missingDatabase(st);
        st.ErrorFlag = 1;
        return false;
    }
    const EntryLookup lookup = db.findEntry(t.IcGroupIndex, t.IcIndex);
    if (!lookup.found) {
        corrupt(st);
        st.ErrorFlag = 1;
        return false;
    }
    if (!lookup.markerOk) corrupt(st);  // the entry is still where the file says; go on

    setup.entry = lookup.entry;
    const IcEntry& e = setup.entry;
    if (!isTesterPinCount(e.pinCount)) {
        box(st, QString("%1: the tester takes 14, 16, 18, 20 and 24 pin ICs, not %2 pins").arg(e.name).arg(e.pinCount));
        st.ErrorFlag = 1;
        return false;
    }
    t.IcPinCount = e.pinCount;
    setup.power = icPower(e.groundPin, e.supplyPin, e.pinCount);
    if (st.onIcTestStart) st.onIcTestStart(e.name.toStdString(), e.pinCount);

    // An upload counts as done only when it went through, so a Test after a
    // failed upload tries it again instead of running on the wrong bitstream.
    if (t.IcPinCount != t.LoadedFpgaPins && st.ErrorFlag == 0) {
        const std::string path = resolveFile(st.FirmwareDir, "IC" + std::to_string(t.IcPinCount) + "p.rbf");
        const bool present = fileExists(path);
        SendFpgaFile(st, path);
        if (present && st.ErrorFlag == 0) t.LoadedFpgaPins = t.IcPinCount;
    }
    if (!t.McuFileSent && st.ErrorFlag == 0) {
        const std::string path = resolveFile(st.McuFirmwareDir, kFirmwareName);
        const bool present = fileExists(path);
        SendMcuFile(st, path);
        if (present && st.ErrorFlag == 0) t.McuFileSent = true;
    }

    VectorText v = db.vectorText(e.vectorOffset);
    if (v.problem != VectorText::None) {
        corrupt(st);
        st.ErrorFlag = 1;
        return false;
    }
    if (!v.markerOk) corrupt(st);
    const std::size_t length = v.text.size() - 1;  // without the 0 byte
    IcMemoryMap map;
    const bool usable = e.mode == kModeMemory ? readMemoryMap({v.text.begin(), v.text.end() - 1}, e.pinCount, map)
                                              : length > 0;
    if (!usable) {
        corrupt(st);
        st.ErrorFlag = 1;
        return false;
    }
    // Zeros after the text: a last line cut short reads 0 (not compared)
    // instead of whatever followed it.
    t.work = std::move(v.text);
    t.work.resize(t.work.size() + std::size_t(t.IcPinCount), 0);
    return true;
}

}  // namespace

std::string icDatabasePath(const AppState& st) { return resolveFile(st.settings.ProgramDir + "/", kDatabaseName); }

bool readMemoryMap(const std::vector<std::uint8_t>& text, int pins, IcMemoryMap& map) {
    map = IcMemoryMap{};
    if (text.size() < kAddressSlots + kDataSlots) return false;
    for (std::size_t i = 0; i < kAddressSlots && text[i] != 0 && text[i] <= kHighestSocketPin; ++i)
        map.address.push_back(socketPin(text[i], pins));
    for (std::size_t i = kAddressSlots; i < kAddressSlots + kDataSlots; ++i)
        if (text[i] != kUnusedSlot) map.data.push_back(socketPin(text[i], pins));
    for (std::size_t i = kAddressSlots + kDataSlots; i < text.size(); ++i) map.control.push_back(socketPin(text[i], pins));
    map.width = int(map.data.size());
    map.size = std::size_t(1) << map.address.size();
    return map.width > 0;
}

bool LoadIcTestLists(AppState& st, IcTesterState& t, unsigned mask, IcLists& lists) {
    IcDatabase db;
    if (!db.load(icDatabasePath(st))) {
        missingDatabase(st);
        lists.groups.clear();
        lists.ics.clear();
        PlayErrorSound(st);
        st.ProgrammerState = 0;
        t.IcIndex = -1;
        return false;
    }
    bool whole = true;
    if (mask & 1) lists.groups = db.groupNames(&whole);
    if (mask & 2) {
        bool complete = true;
        lists.ics = db.icNames(t.IcGroupIndex, &complete);
        whole = whole && complete;
    }
    if (!whole) corrupt(st);
    if (mask & 1) t.IcGroupIndex = 0;
    if (mask & 2) t.IcIndex = lists.ics.empty() ? -1 : 0;
    return true;
}

QString wiringHint(std::uint8_t mode) {
    switch (mode) {
    case 1: return " ic pin 10 - 16 , with 100R to ic pin 8 ";
    case 2: return " ic pin 11 - 18 , with 100R to ic pin 9 ";
    case 3: return " ic pin 13 - 20 , with 100R to ic pin 10 ";
    default: return QString();
    }
}

bool RunIcTestVectors(AppState& st, IcTesterState& t, const IcPower& power, std::uint8_t mode, IcTestView& view,
                      IcMemoryExchange* exchange) {
    if (st.usb) st.usb->setTimeouts(kTimeoutMs, kTimeoutMs);
    if (mode == kModeMemory) {
        IcMemoryExchange none;
        return runMemory(st, t, power, view, exchange ? *exchange : none);
    }
    QString failedLine, answer;
    for (int retries = kRetries;; --retries) {
        st.ErrorFlag = 0;
        const bool good = runLines(st, t, power, view, failedLine, answer);
        send(st, icCloseFrame());
        if (good) {
            view.showPass();
            return true;
        }
        if (retries == 0) break;
    }
    view.showFail(failedLine, answer);
    PlayErrorSound(st);
    return true;
}

void RunIcTest(AppState& st, IcTesterState& t, IcTestView& view, IcMemoryExchange* exchange) {
    st.ErrorFlag = 0;
    QElapsedTimer clock;
    clock.start();
    while (t.LoopCount > 0 && st.ErrorFlag == 0 && t.IcIndex >= 0) {
        PassSetup setup;
        if (!preparePass(st, t, setup)) break;
        view.showTesting(setup.entry.name, wiringHint(setup.entry.mode), t.LoopCount > 1);
        if (!RunIcTestVectors(st, t, setup.power, setup.entry.mode, view, exchange)) {
            t.LoopCount = 0;  // another pass would not test it either
            break;
        }
        --t.LoopCount;
        view.setLoopCaption("  " + QString::number(t.LoopCount) + " x");
    }
    memo(st, elapsedLine(clock.elapsed()));
}

}  // namespace tesmar::ictest
