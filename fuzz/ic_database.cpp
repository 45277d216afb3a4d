// The IC tester's database (All.usb) in a program folder: the lists as the
// dialog loads them, the IC list of every group, and the Test of a few ICs
// (entry lookup, vector text or memory pin map, the vector run against a
// programmer that answers nothing). The tester's firmware is missing, so no
// upload waits. Every load of the file takes a 2 MiB buffer, so the IC lists
// beyond the first are read from the bytes directly.
//
// Input: the file.
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "common/FuzzRig.h"
#include "common/ScriptedPort.h"
#include "ictest/IcDatabase.h"
#include "ictest/IcTester.h"

using namespace tesmar;
using namespace tesmar::fuzz;
using namespace tesmar::ictest;

namespace {

// Groups listed and Tests run per input, to keep one input quick.
constexpr int kGroupsListed = 256;
constexpr int kTestsRun = 8;

class QuietView : public IcTestView {
public:
    void showTesting(const QString&, const QString&, bool) override {}
    void setLoopCaption(const QString&) override {}
    void lineSent() override {}
    void showPass() override {}
    void showFail(const QString&, const QString&) override {}
    void showMemoryTest(int) override {}
    void setMemoryCaption(const QString&) override {}
    void setMemoryProgress(int) override {}
    void showMemoryFail() override {}
    void showMemoryNotTested() override {}
};

const QTemporaryDir& programFolder() {
    static QTemporaryDir dir;
    if (!dir.isValid()) fail("no temporary folder");
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    startQt(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString folder = programFolder().path();
    std::FILE* out = std::fopen(QDir(folder).filePath("All.usb").toLocal8Bit().constData(), "wb");
    if (!out) fail("cannot write All.usb");
    if (size) std::fwrite(data, 1, size, out);
    std::fclose(out);

    Script silence(nullptr, 0);
    ScriptedPort port(silence);
    port.open("", 0);
    ScriptedHost host;
    AppState st;
    st.host = &host;
    st.usb = &port;
    st.ProgrammerState = 1;
    st.settings.ProgramDir = folder.toStdString();
    st.FirmwareDir = st.McuFirmwareDir = folder.toStdString() + "/missing/";

    IcTesterState t;
    IcLists lists;
    if (!LoadIcTestLists(st, t, 3, lists)) fail("All.usb was written but not found");

    IcDatabase db;
    db.assign(std::vector<std::uint8_t>(data, data + size));
    const int groups = std::min<int>(int(db.groupNames().size()), kGroupsListed);
    int tests = 0;
    for (int g = 0; g < groups; ++g) {
        const std::vector<QString> ics = db.icNames(g);
        for (const QString& name : ics)
            if (name.size() > int(kIcNameLength)) fail("an IC name longer than its field");
        // The first and the last IC of the group, as the dialog's list offers them.
        for (int ic : {0, int(ics.size()) - 1}) {
            if (ic < 0 || tests >= kTestsRun) break;
            ++tests;
            IcTesterState test;
            test.IcGroupIndex = g + 1;
            test.IcIndex = ic;
            test.LoopCount = 1;
            QuietView view;
            RunIcTest(st, test, view);
        }
    }
    return 0;
}
