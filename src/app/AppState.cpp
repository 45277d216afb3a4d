#include "app/AppState.h"

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

}  // namespace tesmar
