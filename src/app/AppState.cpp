#include "app/AppState.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "operations/Host.h"

namespace tesmar {

void pauseMs(AppState& st, int ms) {
    if (st.pause) {
        st.pause(ms);
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

namespace {

int shownStep(int maximum, int position) {
    if (maximum <= 0) return 0;
    return int((long long)position * 200 / maximum);
}

void push(AppState& st, int oldMax, int oldPos) {
    if (!st.host) return;
    if (oldMax != st.GaugeMax || shownStep(oldMax, oldPos) != shownStep(st.GaugeMax, st.GaugePos) ||
        st.GaugePos == 0 || st.GaugePos == st.GaugeMax)
        st.host->setGauge(st.GaugeMax, st.GaugePos);
}

}  // namespace

void setGaugeMax(AppState& st, int maximum) {
    const int om = st.GaugeMax, op = st.GaugePos;
    st.GaugeMax = maximum;
    push(st, om, op);
}

void setGaugePos(AppState& st, int position) {
    const int om = st.GaugeMax, op = st.GaugePos;
    st.GaugePos = position;
    if (op != position) push(st, om, op);
}

void advanceGauge(AppState& st, int by) { setGaugePos(st, st.GaugePos + by); }

namespace {
// Blocks per gauge range: twice as fine as the steps the host is shown.
constexpr std::uint32_t kGaugeBlocks = 400;
}  // namespace

GaugeBatch::GaugeBatch(AppState& st)
    : st_(st), block_(std::max<std::uint32_t>(1, std::uint32_t(std::max(st.GaugeMax, 0)) / kGaugeBlocks)) {}

void GaugeBatch::flush() {
    if (pending_ == 0) return;
    // Held within an int, as the gauge is.
    const std::uint32_t by = std::min<std::uint32_t>(pending_, 0x7FFFFFFF);
    pending_ = 0;
    advanceGauge(st_, int(by));
}

}  // namespace tesmar
