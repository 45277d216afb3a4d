// The hardware port without hardware: every call fails cleanly, nothing waits.
#include <gtest/gtest.h>

#include "link/LibFtdiPort.h"
#include "link/Link.h"
#include "support/TestSupport.h"

using namespace tesmar;

TEST(LibFtdiPort, WithoutAProgrammerOpenFailsAndEveryCallIsRefused) {
    LibFtdiPort port;
    EXPECT_NE(port.open("Tesmar", 0x20000002), UsbOk);
    EXPECT_FALSE(port.isOpen());

    std::string serial = "0000000000";
    std::uint32_t a = 1, b = 1, c = 1, got = 1, written = 1;
    std::uint8_t buf[4] = {};
    EXPECT_NE(port.readSerialNumber(serial), UsbOk);
    EXPECT_EQ(serial, "0000000000");
    EXPECT_NE(port.reset(), UsbOk);
    EXPECT_NE(port.purge(PurgeBoth), UsbOk);
    EXPECT_NE(port.queueStatus(a), UsbOk);
    EXPECT_EQ(a, 0u);
    EXPECT_NE(port.status(a, b, c), UsbOk);
    EXPECT_NE(port.read(buf, 4, got), UsbOk);  // no device: no read time-out to sit out
    EXPECT_EQ(got, 0u);
    EXPECT_NE(port.write(buf, 4, written), UsbOk);
    EXPECT_EQ(written, 0u);
    EXPECT_NE(port.close(), UsbOk);
}

TEST(LibFtdiPort, StartUpWithoutAProgrammerIsDemoMode) {
    LibFtdiPort port;
    test::RecorderHost host;
    AppState st;
    st.usb = &port;
    st.host = &host;
    st.pause = [](int) {};
    ConnectProgrammer(st, false);
    EXPECT_EQ(st.ProgrammerState, 0);
    EXPECT_EQ(host.lines(), (QStringList{" ", " **** NO PROGRAMMER FOUND ****", " **** System in Tesmar DEMO mode  ****"}));
}
