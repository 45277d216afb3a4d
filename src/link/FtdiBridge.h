#pragma once
// The USB bridge chip as the libftdi port drives it. The real bridge wraps
// libftdi (LibFtdiBridge.cpp, the only file that includes <ftdi.h>); tests
// stand a fake bridge with the chip's latency in its place.
//
// The port calls read() from its reader thread while write() may run on
// another; every other call is kept apart from both by the port.
#include <cstdint>
#include <memory>
#include <string>

namespace tesmar {

class FtdiBridge {
public:
    virtual ~FtdiBridge() = default;
    // Opens the first bridge whose product description equals `description`,
    // with a short latency timer and both chip buffers flushed.
    virtual bool open(const std::string& description) = 0;
    virtual void close() = 0;
    virtual bool serialNumber(std::string& serial) = 0;
    virtual bool reset() = 0;
    virtual bool flushReceive() = 0;
    virtual bool flushTransmit() = 0;
    virtual void setWriteTimeout(std::uint32_t ms) = 0;
    // What the bridge received, waiting at most for its latency timer (or a
    // short time-out of its own): the byte count, 0 when nothing came,
    // negative on an error.
    virtual int read(std::uint8_t* buf, int len) = 0;
    // Bytes written, negative on an error.
    virtual int write(const std::uint8_t* buf, int len) = 0;
};

// The bridge over libftdi.
std::unique_ptr<FtdiBridge> makeLibFtdiBridge();

}  // namespace tesmar
