// The IC tester's database (All.usb) in a program folder: the group list,
// the IC list of each group, and the Test of a few of its ICs (entry lookup,
// vector text or memory pin map, the vector run against a programmer that
// answers nothing). The tester's firmware is missing, so no upload waits.
//
// Input: the file.
#include <QDir>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>

#include "common/FuzzRig.h"
#include "common/ScriptedPort.h"
#include "ictest/IcDatabase.h"
#include "ictest/IcTester.h"

using namespace tesmar;
using namespace tesmar::fuzz;
using namespace tesmar::ictest;

namespace {

// Lists of this many groups and this many Tests per input keep one input quick.
constexpr int kGroupsListed = 64;
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
    if (!LoadIcTestLists(st, t, 1, lists)) fail("All.usb was written but not found");
    int tests = 0;
    const int groups = std::min<int>(int(lists.groups.size()), kGroupsListed);
    for (int g = 0; g < groups; ++g) {
        t.IcGroupIndex = g;
        LoadIcTestLists(st, t, 2, lists);
        for (const QString& name : lists.ics)
            if (name.size() > int(kIcNameLength)) fail("an IC name longer than its field");
        // The first and the last IC of the group, as the dialog's list offers them.
        for (int ic : {0, int(lists.ics.size()) - 1}) {
            if (ic < 0 || tests >= kTestsRun) break;
            ++tests;
            IcTesterState test = t;
            test.IcGroupIndex = g + 1;
            test.IcIndex = ic;
            test.LoopCount = 1;
            QuietView view;
            RunIcTest(st, test, view);
        }
    }
    return 0;
}
