#include "sim/SimProgrammer.h"

#include <algorithm>
#include <cstdio>

namespace tesmar::sim {

namespace {

// How far the programmer runs ahead of the host in a stream: it sends only
// while the bridge's buffer has room, so a "Stop" leaves at most this much behind.
constexpr std::size_t kStreamWindow = 4096;

// Largest chip a record may ask for; larger sizes come only from damaged data files.
constexpr std::uint64_t kMaxChipSize = 32u << 20;

// Driver calls and notes the log keeps per byte of its limit.
constexpr std::size_t kLogBytesPerEntry = 64;

// Keeps at most `limit` entries, dropping the oldest.
void keepLast(std::deque<std::string>& log, std::size_t limit) {
    while (log.size() > limit) log.pop_front();
}

// Collects a fixed number of bytes and hands them over in one piece.
class FixedSink : public ByteSink {
public:
    FixedSink(std::size_t n, std::string what, std::function<void(std::vector<std::uint8_t>, FrameContext&)> done)
        : want_(n), what_(std::move(what)), done_(std::move(done)) {
        got_.reserve(n);
    }
    std::size_t consume(std::span<const std::uint8_t> bytes, FrameContext& ctx) override {
        std::size_t n = std::min(bytes.size(), want_ - got_.size());
        got_.insert(got_.end(), bytes.begin(), bytes.begin() + std::ptrdiff_t(n));
        if (got_.size() == want_ && !finished_) {
            finished_ = true;
            done_(std::move(got_), ctx);
        }
        return n;
    }
    bool done() const override { return finished_; }
    std::string what() const override { return what_; }

private:
    std::size_t want_;
    std::string what_;
    std::function<void(std::vector<std::uint8_t>, FrameContext&)> done_;
    std::vector<std::uint8_t> got_;
    bool finished_ = false;
};

// Frames the firmware takes whatever runs. A level frame of the IC tester
// cannot look like one of them, nor like a tester frame, for a part powered at
// its corner pins: the supply pin's level bit would have to be clear, or the
// ground pin's set, or a pulse count would not be a power of two.
bool isLinkFrame(const Frame& f) {
    return f.is("Stop") || f.is("ErrV") || f.is("ErrB") || f.is('N', 0, 0, 0) || f.is("FPGA") || f.is("MCU ") ||
           f.is("V000") || f.is('T', 'O', 0, 0) || f.is('E', 'O', 0, 0);
}

std::string hexWord(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", v);
    return text;
}

}  // namespace

std::size_t parameterTailLength(char familyLetter) {
    switch (familyLetter) {
    case 'C': return 4;
    case 'E': case 'F': return 3;
    case 'S': return 6;
    case 'O': case 'R': return 4;
    default: return 0;
    }
}

SimProgrammer::SimProgrammer() = default;
SimProgrammer::~SimProgrammer() = default;

// ---- the bridge -------------------------------------------------------------

int SimProgrammer::portState() const {
    if (!open_) return UsbInvalidHandle;
    if (!connected_) return UsbIoError;
    return UsbOk;
}

int SimProgrammer::open(const std::string& description, std::uint32_t flags) {
    std::lock_guard lock(m_);
    logCall("open " + description + " " + hexWord(flags));
    if (!connected_ || description != "Tesmar") return UsbDeviceNotFound;
    if (open_) {
        note("open while the port is already open");
        return UsbOtherError;
    }
    open_ = true;
    return UsbOk;
}

int SimProgrammer::close() {
    std::lock_guard lock(m_);
    logCall("close");
    if (!open_) return UsbInvalidHandle;
    open_ = false;
    rx_.clear();
    pending_.clear();
    stream_.reset();
    ++hostActions_;
    hostActed_.notify_all();
    return UsbOk;
}

bool SimProgrammer::isOpen() const {
    std::lock_guard lock(m_);
    return open_;
}

int SimProgrammer::readSerialNumber(std::string& serial) {
    std::lock_guard lock(m_);
    logCall("serial");
    if (int s = portState()) return s;
    serial = serial_;
    return UsbOk;
}

int SimProgrammer::reset() {
    std::lock_guard lock(m_);
    logCall("reset");
    if (int s = portState()) return s;
    // A reset of the bridge cuts off whatever the firmware was still waiting
    // for, so it looks for a frame again instead of swallowing the next ones.
    dropInput("reset");
    return UsbOk;
}

int SimProgrammer::purge(unsigned mask) {
    std::lock_guard lock(m_);
    logCall("purge " + std::to_string(mask));
    if (int s = portState()) return s;
    if (mask & PurgeRx) {
        rx_.clear();
        pending_.clear();
        stream_.reset();
    }
    if (mask & PurgeTx) dropInput("purge");
    return UsbOk;
}

int SimProgrammer::setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) {
    std::lock_guard lock(m_);
    logCall("timeouts " + std::to_string(readMs) + " " + std::to_string(writeMs));
    if (int s = portState()) return s;
    readTimeout_ = readMs;
    writeTimeout_ = writeMs;
    return UsbOk;
}

void SimProgrammer::pollQueue() {
    if (faults_.splitReplies) {
        deliver(rx_.size() + std::max<std::size_t>(1, *faults_.splitReplies));
    } else {
        std::size_t target = rx_.size() + pending_.size();
        if (stream_) target = std::max(target, kStreamWindow);
        deliver(target);
    }
}

int SimProgrammer::queueStatus(std::uint32_t& bytesWaiting) {
    std::lock_guard lock(m_);
    bytesWaiting = 0;
    if (int s = portState()) return s;
    pollQueue();
    bytesWaiting = std::uint32_t(rx_.size());
    return UsbOk;
}

int SimProgrammer::waitQueue(std::uint32_t atLeast, std::chrono::microseconds maxWait, std::uint32_t& bytesWaiting) {
    std::unique_lock lock(m_);
    bytesWaiting = 0;
    if (int s = portState()) return s;
    const std::size_t before = rx_.size();
    pollQueue();
    // Bytes that trickle in keep coming without the host: no sleep then.
    if (rx_.size() < atLeast && rx_.size() == before && maxWait.count() > 0) {
        const std::uint64_t actions = hostActions_;
        hostActed_.wait_for(lock, maxWait, [&] { return hostActions_ != actions; });
        if (int s = portState()) return s;
        pollQueue();
    }
    bytesWaiting = std::uint32_t(rx_.size());
    return UsbOk;
}

int SimProgrammer::status(std::uint32_t& rx, std::uint32_t& tx, std::uint32_t& events) {
    std::lock_guard lock(m_);
    logCall("status");
    rx = tx = events = 0;
    if (int s = portState()) return s;
    rx = std::uint32_t(rx_.size());
    return UsbOk;
}

int SimProgrammer::read(std::uint8_t* buf, std::uint32_t len, std::uint32_t& got) {
    std::lock_guard lock(m_);
    got = 0;
    if (int s = portState()) return s;
    // A real read waits up to its time-out for len bytes; whatever the firmware
    // would send in that time is here at once.
    deliver(len);
    std::size_t n = std::min<std::size_t>(len, rx_.size());
    std::copy_n(rx_.begin(), n, buf);
    rx_.erase(rx_.begin(), rx_.begin() + std::ptrdiff_t(n));
    got = std::uint32_t(n);
    return UsbOk;
}

int SimProgrammer::write(const std::uint8_t* buf, std::uint32_t len, std::uint32_t& written) {
    std::lock_guard lock(m_);
    logCall("write " + std::to_string(len));
    written = 0;
    if (int s = portState()) return s;
    logWrite(buf, len);
    written = len;
    ++hostActions_;
    hostActed_.notify_all();
    if (!faults_.silent) feed(buf, len);
    return UsbOk;
}

void SimProgrammer::deliver(std::size_t target) {
    if (faults_.silent) return;
    while (rx_.size() < target && !pending_.empty()) {
        rx_.push_back(pending_.front());
        pending_.pop_front();
    }
    if (rx_.size() >= target || !stream_) return;
    std::size_t want = target - rx_.size();
    if (faults_.streamStallsAfter) {
        std::uint64_t limit = *faults_.streamStallsAfter;
        if (streamed_ >= limit) return;
        want = std::size_t(std::min<std::uint64_t>(want, limit - streamed_));
    }
    std::vector<std::uint8_t> chunk(want);
    std::size_t n = stream_->produce(chunk);
    rx_.insert(rx_.end(), chunk.begin(), chunk.begin() + std::ptrdiff_t(n));
    streamed_ += n;
    if (stream_->finished()) stream_.reset();
}

// ---- the firmware -----------------------------------------------------------

void SimProgrammer::feed(const std::uint8_t* p, std::size_t n) {
    while (n > 0) {
        if (sink_) {
            // The sink may install its successor while it finishes.
            std::unique_ptr<ByteSink> current = std::move(sink_);
            std::size_t used = std::min(current->consume({p, n}, *this), n);
            if (!current->done()) {
                if (used == 0) break;  // a sink that takes nothing would never finish
                if (!sink_) sink_ = std::move(current);
            }
            p += used;
            n -= used;
            continue;
        }
        frame_.bytes[frameFill_++] = *p++;
        --n;
        if (frameFill_ == 4) {
            frameFill_ = 0;
            dispatch(frame_);
        }
    }
}

void SimProgrammer::dispatch(const Frame& f) {
    auto logic = std::dynamic_pointer_cast<LogicIc>(chip_);
    if (tester_.awaitingLevels()) {
        if (!isLinkFrame(f) && !LogicIcTester::isTesterFrame(f)) {
            tester_.levelFrameStart(f, *this, logic);
            return;
        }
        tester_.abandonLevels();
    }
    // Stream enders: the programmer stops sending. They may cross a stream
    // that has already ended, which is no fault of the host.
    if (f.is("Stop") || f.is("ErrV") || f.is("ErrB")) {
        endStream();
        return;
    }
    if (stream_) {
        note("frame " + f.hex() + " while a stream was still running");
        endStream();
    }
    if (f.is('N', 0, 0, 0)) {
        if (faults_.notReady) reply({1});
        else reply(identifyReply_);
        return;
    }
    if (f.is("FPGA")) {
        replyWord(Reply::FpgaSend, kWordSend);
        receive(kBitstreamSize, "bitstream upload", [this](std::vector<std::uint8_t> data, FrameContext& ctx) {
            bitstream_ = std::move(data);
            ctx.replyWord(Reply::FpgaGood, kWordGood);
        });
        return;
    }
    if (f.is("MCU ")) {
        receive(2, "firmware upload length", [this](std::vector<std::uint8_t> len, FrameContext& ctx) {
            std::size_t length = std::size_t(len[0]) << 8 | len[1];
            std::size_t n = std::min(length, kFirmwareMaxBytes);
            ctx.receive(n, "firmware upload", [this](std::vector<std::uint8_t> data, FrameContext& ctx2) {
                firmware_ = std::move(data);
                ctx2.receive(1, "firmware upload sum", [this](std::vector<std::uint8_t> sum, FrameContext& ctx3) {
                    std::uint8_t s = 0;
                    for (std::uint8_t b : firmware_) s = std::uint8_t(s + b);
                    if (s == sum[0]) ctx3.replyWord(Reply::McuOkay, kWordOkay);
                    else ctx3.replyWord(Reply::Other, kWordFail);
                });
            });
        });
        return;
    }
    if (f.is("V000")) {
        receive(4 + kPacketSize, "device parameters", [this](std::vector<std::uint8_t> head, FrameContext& ctx) {
            std::size_t tail = parameterTailLength(char(head[4 + 13]));
            if (tail == 0) {
                parameters_ = std::move(head);
                return;
            }
            ctx.receive(tail, "device parameter tail",
                        [this, head = std::move(head)](std::vector<std::uint8_t> t, FrameContext&) mutable {
                            head.insert(head.end(), t.begin(), t.end());
                            parameters_ = std::move(head);
                        });
        });
        return;
    }
    if (f.is('T', 'O', 0, 0) || f.is('E', 'O', 0, 0)) {
        replyWord(Reply::Probe, faults_.overCurrent ? kWordOverCurrent : kWordGood);
        return;
    }
    // The tester firmware owns its frames unless another kind of chip sits in
    // the socket (whose family frames may start the same way).
    if ((!chip_ || logic) && LogicIcTester::isTesterFrame(f)) {
        tester_.handleFrame(f, *this, logic);
        return;
    }
    if (!chip_) {
        note("frame " + f.hex() + " with an empty socket");
        return;
    }
    if (!chip_->handleFrame(f, *this)) note("unknown frame " + f.hex() + " for the " + chip_->technology() + " in the socket");
}

void SimProgrammer::endStream() {
    stream_.reset();
}

void SimProgrammer::dropInput(const char* why) {
    tester_.abandonLevels();
    if (sink_) {
        if (!dynamic_cast<const TrailingSink*>(sink_.get()))
            note(std::string(why) + " abandoned an unfinished " + sink_->what());
        sink_.reset();
    }
    if (frameFill_ != 0) {
        note(std::string(why) + " dropped " + std::to_string(frameFill_) + " bytes of a frame");
        frameFill_ = 0;
    }
}

// ---- FrameContext -----------------------------------------------------------

void SimProgrammer::reply(std::span<const std::uint8_t> bytes) {
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
}

void SimProgrammer::replyWord(Reply where, std::string_view word) {
    std::string w = faults_.word(where, word);
    pending_.insert(pending_.end(), w.begin(), w.end());
}

void SimProgrammer::startStream(std::unique_ptr<ByteSource> source) {
    stream_ = std::move(source);
    streamed_ = 0;
    if (stream_ && stream_->finished()) stream_.reset();
}

void SimProgrammer::receive(std::unique_ptr<ByteSink> sink) {
    sink_ = std::move(sink);
    if (sink_ && sink_->done()) sink_.reset();
}

void SimProgrammer::receive(std::size_t n, std::string what,
                            std::function<void(std::vector<std::uint8_t>, FrameContext&)> done) {
    if (n == 0) {
        done({}, *this);
        return;
    }
    sink_ = std::make_unique<FixedSink>(n, std::move(what), std::move(done));
}

void SimProgrammer::note(std::string text) {
    if (logLimit_ == 0) return;
    notes_.push_back(std::move(text));
    keepLast(notes_, logLimit_ / kLogBytesPerEntry + 1);
}

void SimProgrammer::logCall(std::string call) {
    if (logLimit_ == 0) return;
    calls_.push_back(std::move(call));
    keepLast(calls_, logLimit_ / kLogBytesPerEntry + 1);
}

void SimProgrammer::logWrite(const std::uint8_t* buf, std::uint32_t len) {
    if (logLimit_ == 0) return;
    written_.insert(written_.end(), buf, buf + len);
    writeLengths_.push_back(len);
    // The oldest whole writes go first; the latest write is always kept.
    while (written_.size() > logLimit_ && writeLengths_.size() > 1) {
        written_.erase(written_.begin(), written_.begin() + std::ptrdiff_t(writeLengths_.front()));
        writeLengths_.pop_front();
    }
}

// ---- test access ------------------------------------------------------------

void SimProgrammer::setConnected(bool present) {
    std::lock_guard lock(m_);
    connected_ = present;
}

void SimProgrammer::setSerialNumber(const std::string& serial) {
    std::lock_guard lock(m_);
    serial_ = serial;
}

void SimProgrammer::setIdentifyReply(std::vector<std::uint8_t> reply) {
    std::lock_guard lock(m_);
    identifyReply_ = std::move(reply);
}

std::uint32_t SimProgrammer::readTimeoutMs() const {
    std::lock_guard lock(m_);
    return readTimeout_;
}

std::uint32_t SimProgrammer::writeTimeoutMs() const {
    std::lock_guard lock(m_);
    return writeTimeout_;
}

void SimProgrammer::setLogLimit(std::size_t bytes) {
    std::lock_guard lock(m_);
    logLimit_ = bytes;
    written_.clear();
    writeLengths_.clear();
    calls_.clear();
    notes_.clear();
}

std::vector<std::uint8_t> SimProgrammer::hostBytes() const {
    std::lock_guard lock(m_);
    return std::vector<std::uint8_t>(written_.begin(), written_.end());
}

std::vector<std::vector<std::uint8_t>> SimProgrammer::hostWrites() const {
    std::lock_guard lock(m_);
    std::vector<std::vector<std::uint8_t>> writes;
    writes.reserve(writeLengths_.size());
    auto at = written_.begin();
    for (std::size_t n : writeLengths_) {
        writes.emplace_back(at, at + std::ptrdiff_t(n));
        at += std::ptrdiff_t(n);
    }
    return writes;
}

std::vector<std::string> SimProgrammer::driverCalls() const {
    std::lock_guard lock(m_);
    return std::vector<std::string>(calls_.begin(), calls_.end());
}

std::vector<std::string> SimProgrammer::protocolErrors() const {
    std::lock_guard lock(m_);
    return std::vector<std::string>(notes_.begin(), notes_.end());
}

void SimProgrammer::clearLog() {
    std::lock_guard lock(m_);
    written_.clear();
    writeLengths_.clear();
    calls_.clear();
    notes_.clear();
}

std::vector<std::uint8_t> SimProgrammer::lastBitstream() const {
    std::lock_guard lock(m_);
    return bitstream_;
}

std::vector<std::uint8_t> SimProgrammer::lastFirmware() const {
    std::lock_guard lock(m_);
    return firmware_;
}

std::vector<std::uint8_t> SimProgrammer::lastParameters() const {
    std::lock_guard lock(m_);
    return parameters_;
}

void SimProgrammer::insertChip(std::shared_ptr<Chip> chip) {
    std::lock_guard lock(m_);
    chip_ = std::move(chip);
}

void SimProgrammer::insertBlankChipFor(const tesmar::DeviceRecord& rec) {
    std::shared_ptr<Chip> chip;
    if (std::uint64_t(rec.LastAddress) + 1 <= kMaxChipSize) chip = makeBlankChip(rec);
    std::lock_guard lock(m_);
    chip_ = std::move(chip);
}

std::shared_ptr<Chip> SimProgrammer::chip() const {
    std::lock_guard lock(m_);
    return chip_;
}

void SimProgrammer::insertLogicIc(const std::string& name) {
    std::shared_ptr<Chip> ic = makeLogicIc(name);
    std::lock_guard lock(m_);
    chip_ = std::move(ic);
}

std::shared_ptr<LogicIc> SimProgrammer::logicIc() const {
    std::lock_guard lock(m_);
    return std::dynamic_pointer_cast<LogicIc>(chip_);
}

FaultPlan& SimProgrammer::faults() {
    return faults_;
}

}  // namespace tesmar::sim
