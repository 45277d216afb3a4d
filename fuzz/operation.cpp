// Programmer answers fed to every family routine: one toolbar operation
// (Read, Blank, Program, Verify, Erase) on a sample device of any family with
// a routine, through the worker's body (probe, chip-ID check, operation),
// with the user's answers to the CHIP_ID and device-ID boxes and an Abort at
// any read taken from the input as well. PLDs also take Secure, and each run
// starts from the values the configuration dialog or a JEDEC load leaves:
// the user's fuses, locks and security byte (McuConfigKnown), the calibration
// choice, the serial status bytes and the JEDEC security flag. Only a Read may
// change the image (and a Program the calibration byte where the user put it).
//
// Input: the OperationSetup header (common/Sessions.h), then the script of
// the programmer's answers (common/ScriptedPort.h).
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

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
    const char op = st.OperationCode.load();
    // Only a Read brings the chip's contents into the image; what else changes it is
    // the calibration byte a microcontroller Program stores where the user put it.
    std::vector<std::uint8_t> before;
    if (op != 'R') before = st.buf.DeviceBuffer;
    const bool calibrates = op == 'P' && st.dev()->FamilyLetter == 'M' && st.mcu.ProgramCalibration != 0;
    const std::size_t calibrationAt = st.mcu.CalibrationAddress;

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
    if (op != 'R' && std::memcmp(before.data(), st.buf.DeviceBuffer.data(), imageSize) != 0) {
        std::size_t at = 0;
        while (at < imageSize && (before[at] == st.buf.DeviceBuffer[at] || (calibrates && at == calibrationAt))) ++at;
        if (at < imageSize) {
            char line[96];
            std::snprintf(line, sizeof line, "operation %c changed image byte 0x%zX", op, at);
            fail(line);
        }
    }
    return 0;
}
