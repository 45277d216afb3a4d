#pragma once
// A port that hands every driver operation to another port. Tests and the
// fuzz seeds derive from it and override only what they change (a
// line that goes silent, a recorder of the replies). The waits (waitQueue,
// readUnless) keep the interface's defaults, so they go through whatever
// queueStatus and read the derived port overrides.
#include "link/UsbPort.h"

namespace tesmar::sim {

class ForwardingPort : public UsbPort {
public:
    explicit ForwardingPort(UsbPort& inner) : inner_(inner) {}

    int open(const std::string& d, std::uint32_t f) override { return inner_.open(d, f); }
    int close() override { return inner_.close(); }
    bool isOpen() const override { return inner_.isOpen(); }
    int readSerialNumber(std::string& s) override { return inner_.readSerialNumber(s); }
    int reset() override { return inner_.reset(); }
    int purge(unsigned mask) override { return inner_.purge(mask); }
    int setTimeouts(std::uint32_t r, std::uint32_t w) override { return inner_.setTimeouts(r, w); }
    int queueStatus(std::uint32_t& n) override { return inner_.queueStatus(n); }
    int status(std::uint32_t& rx, std::uint32_t& tx, std::uint32_t& ev) override { return inner_.status(rx, tx, ev); }
    int read(std::uint8_t* buf, std::uint32_t len, std::uint32_t& got) override { return inner_.read(buf, len, got); }
    int write(const std::uint8_t* buf, std::uint32_t len, std::uint32_t& written) override {
        return inner_.write(buf, len, written);
    }
    using UsbPort::write;

protected:
    UsbPort& inner_;
};

}  // namespace tesmar::sim
