#include <ftdi.h>
#include <libusb.h>

#include <climits>
#include <cstring>

#include "link/FtdiBridge.h"

namespace tesmar {

namespace {

constexpr int kFtdiVendor = 0x0403;
constexpr int kBridgeProducts[] = {0x6001, 0x6010, 0x6014, 0x6015};
// A short latency makes the bridge hand over small replies quickly.
constexpr unsigned char kLatencyMs = 2;
// The bound of one bulk read; the bridge answers within its latency.
constexpr int kUsbReadTimeoutMs = 100;

class LibFtdiBridge : public FtdiBridge {
public:
    ~LibFtdiBridge() override { close(); }

    bool open(const std::string& description) override {
        close();
        ftdi_context* ctx = ftdi_new();
        if (!ctx) return false;  // no USB stack at all
        for (int product : kBridgeProducts) {
            if (ftdi_usb_open_desc(ctx, kFtdiVendor, product, description.c_str(), nullptr) != 0) continue;
            ftdi_set_latency_timer(ctx, kLatencyMs);
            ftdi_tciflush(ctx);
            ftdi_tcoflush(ctx);
            ctx->usb_read_timeout = kUsbReadTimeoutMs;
            ctx_ = ctx;
            return true;
        }
        ftdi_free(ctx);
        return false;
    }

    void close() override {
        if (!ctx_) return;
        ftdi_usb_close(ctx_);
        ftdi_free(ctx_);
        ctx_ = nullptr;
    }

    bool serialNumber(std::string& serial) override {
        if (!ctx_) return false;
        char text[64] = {};
        libusb_device* dev = libusb_get_device(ctx_->usb_dev);
        if (ftdi_usb_get_strings2(ctx_, dev, nullptr, 0, nullptr, 0, text, int(sizeof text)) != 0) return false;
        text[sizeof text - 1] = '\0';
        serial.assign(text, strnlen(text, sizeof text));
        return true;
    }

    bool reset() override { return ctx_ && ftdi_usb_reset(ctx_) == 0; }
    bool flushReceive() override { return ctx_ && ftdi_tciflush(ctx_) == 0; }
    bool flushTransmit() override { return ctx_ && ftdi_tcoflush(ctx_) == 0; }

    void setWriteTimeout(std::uint32_t ms) override {
        if (ctx_) ctx_->usb_write_timeout = int(ms > unsigned(INT_MAX) ? unsigned(INT_MAX) : ms);
    }

    int read(std::uint8_t* buf, int len) override { return ctx_ ? ftdi_read_data(ctx_, buf, len) : -1; }
    int write(const std::uint8_t* buf, int len) override { return ctx_ ? ftdi_write_data(ctx_, buf, len) : -1; }

private:
    ftdi_context* ctx_ = nullptr;
};

}  // namespace

std::unique_ptr<FtdiBridge> makeLibFtdiBridge() { return std::make_unique<LibFtdiBridge>(); }

}  // namespace tesmar
