#pragma once
// A fuzz input read front to back: fixed header bytes first, then whatever
// the target takes from it as it goes (the programmer's answers, the user's
// answers to questions). Past the end every read gives zero.
#include <cstddef>
#include <cstdint>

namespace tesmar::fuzz {

class Script {
public:
    Script(const std::uint8_t* data, std::size_t size) : p_(data), n_(size) {}

    bool empty() const { return pos_ >= n_; }
    std::size_t left() const { return empty() ? 0 : n_ - pos_; }
    std::uint8_t byte() { return empty() ? 0 : p_[pos_++]; }
    std::uint32_t u32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= std::uint32_t(byte()) << (8 * i);
        return v;
    }
    // The rest of the input, consumed.
    const std::uint8_t* rest(std::size_t& size) {
        const std::uint8_t* at = p_ + (empty() ? n_ : pos_);
        size = left();
        pos_ = n_;
        return at;
    }

private:
    const std::uint8_t* p_;
    std::size_t n_;
    std::size_t pos_ = 0;
};

}  // namespace tesmar::fuzz
