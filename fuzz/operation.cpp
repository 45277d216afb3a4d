// Programmer answers fed to every family routine: one toolbar operation
// (Read, Blank, Program, Verify, Erase) on a sample device of any family with
// a routine, through the worker's body (probe, chip-ID check, operation),
// with the user's answers to the CHIP_ID and device-ID boxes and an Abort at
// any read taken from the input as well.
//
// Input: the OperationSetup header (common/Sessions.h), then the script of
// the programmer's answers (common/ScriptedPort.h).
#include <cstdint>

#include "common/FuzzRig.h"
#include "common/ScriptedPort.h"
#include "common/Sessions.h"
#include "operations/Dispatch.h"

using namespace tesmar;
using namespace tesmar::fuzz;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    startQt(argc, argv);
    operationRecords();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Script s(data, size);
    OperationSetup setup;
    setup.read(s);

    ScriptedPort port(s);
    ScriptedHost host(&s);
    AppState st;
    st.usb = &port;
    st.host = &host;
    port.open("", 0);
    port.deadAtEnd = setup.flags & OperationSetup::DeadAtEnd;
    prepareOperation(st, setup);
    const std::size_t imageSize = st.buf.size();

    // What the progress form's Abort button does.
    const bool isProgram = st.OperationCode.load() == 'P';
    port.abortAtRead = setup.abortAtRead;
    port.onAbort = [&] {
        st.RunFlag = 0;
        if (!isProgram) port.write(std::string("Stop"));
    };

    ExecuteOperation(st);

    if (host.closes == 0) fail("the operation ended with its progress window still open");
    if (st.buf.size() != imageSize) fail("an operation changed the size of the image");
    return 0;
}
