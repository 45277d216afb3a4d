#pragma once
// The tester's logic on the simulated programmer: an AppState with a
// recording host, the generated program folder (or a database of the test's
// own) and a view that records what the dialog would show.
#include <gtest/gtest.h>

#include <QStringList>
#include <QTemporaryDir>
#include <optional>

#include "ictest/IcDatabase.h"
#include "ictest/IcTester.h"
#include "ictest/IcDbBuilder.h"
#include "sim/SimProgrammer.h"
#include "support/Bytes.h"
#include "support/TestSupport.h"

namespace tesmar::test {

inline Bytes bytesOfFile(const QString& path) {
    const QByteArray b = readFile(path);
    return Bytes(b.begin(), b.end());
}

class RecordingView : public ictest::IcTestView {
public:
    void showTesting(const QString& icName, const QString& wiringHint, bool looping_) override {
        ++passes;
        testing = icName;
        hint = wiringHint;
        looping.push_back(looping_);
        pass = fail = notTested = false;
    }
    void setLoopCaption(const QString& caption) override { loopCaptions << caption; }
    void lineSent() override { ++linesSent; }
    void showPass() override { pass = true; }
    void showFail(const QString& vectors, const QString& result) override {
        fail = true;
        failLine = vectors;
        failResult = result;
    }
    void showMemoryTest(int memorySize) override { this->memorySize = memorySize; }
    void setMemoryCaption(const QString& caption) override { memoryCaptions << caption; }
    void setMemoryProgress(int position) override { progress = position; }
    void showMemoryFail() override {
        fail = true;
        memoryCaptions.last() += "  Failed";
    }
    void showMemoryNotTested() override {
        notTested = true;
        memoryCaptions.last() += "  Not tested";
    }

    int passes = 0, linesSent = 0, memorySize = -1, progress = -1;
    bool pass = false, fail = false, notTested = false;
    std::vector<bool> looping;  // per pass: the Test button was the one disabled
    QString testing, hint, failLine, failResult;
    QStringList loopCaptions, memoryCaptions;
};

class IcTesterRig : public ::testing::Test {
protected:
    void SetUp() override {
        sim.open("Tesmar", 0x20000002);
        st.host = &host;
        st.usb = &sim;
        st.ProgrammerState = 1;
        st.settings.ProgramDir = runDir().toStdString();
        st.FirmwareDir = runDir().toStdString() + "/usbf/";
        st.McuFirmwareDir = runDir().toStdString() + "/usbm/";
        sim.clearLog();
    }

    // Puts a database of the test's own in a folder that becomes the program folder.
    void useDatabase(const QByteArray& bytes) {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(writeFile(dir.path() + "/All.usb", bytes));
        st.settings.ProgramDir = dir.path().toStdString();
    }

    ictest::IcDatabase database() const {
        ictest::IcDatabase db;
        EXPECT_TRUE(db.load(ictest::icDatabasePath(st)));
        return db;
    }

    // Chooses an IC by name as the lists would (1-based group, IC index).
    void choose(const QString& name) {
        const ictest::IcDatabase db = database();
        const auto groups = db.groupNames();
        for (int g = 0; g < int(groups.size()); ++g) {
            const auto ics = db.icNames(g);
            for (int i = 0; i < int(ics.size()); ++i)
                if (ics[size_t(i)] == name) {
                    t.IcGroupIndex = g + 1;
                    t.IcIndex = i;
                    return;
                }
        }
        FAIL() << "no IC " << name.toStdString();
    }

    // The bitstream and firmware count as in the programmer already.
    void skipUploads(int pins) {
        t.LoadedFpgaPins = pins;
        t.McuFileSent = true;
    }

    void runTest(int loops = 1) {
        t.LoopCount = loops;
        ictest::RunIcTest(st, t, view, exchange);
    }

    // The host's writes, one entry per write call.
    std::vector<Bytes> writes() const { return sim.hostWrites(); }
    int countWrites(const Bytes& b) const {
        int n = 0;
        for (const Bytes& w : writes()) n += w == b;
        return n;
    }
    bool wrote(const char* word) const { return countWrites(Bytes(word, word + 4)) > 0; }

    AppState st;
    RecorderHost host;
    sim::SimProgrammer sim;
    ictest::IcTesterState t;
    RecordingView view;
    ictest::IcMemoryExchange* exchange = nullptr;
    QTemporaryDir dir;
};

}  // namespace tesmar::test
