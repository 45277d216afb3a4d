// Programmer answers fed to the link: start-up or Reconnect (open attempts,
// the bridge's serial number, the identify reply), then for a ready
// programmer the uploads and parameters of a device selection and the
// over-current probe that starts an operation.
//
// Input: the LinkSetup header (common/Sessions.h), then the script of the
// programmer's answers (common/ScriptedPort.h).
#include <cstdint>

#include "common/FuzzRig.h"
#include "common/ScriptedPort.h"
#include "common/Sessions.h"

using namespace tesmar;
using namespace tesmar::fuzz;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    startQt(argc, argv);
    sampleRecords();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Script s(data, size);
    LinkSetup setup;
    setup.read(s);

    ScriptedPort port(s);
    if (setup.flags & 1) port.open("", 0);  // a Reconnect finds the port open
    port.opensToFail = setup.flags >> 4;
    port.serialFails = setup.flags & 2;
    port.deadAtEnd = setup.flags & 4;
    port.purgeFails = setup.flags & 8;
    port.serial.assign(setup.serial.begin(), setup.serial.end());
    ScriptedHost host(&s);
    AppState st;
    st.usb = &port;
    st.host = &host;

    runLinkSession(st, setup);
    return 0;
}
