#include "operations/Dispatch.h"

#include "families/Eprom.h"
#include "families/Flash.h"
#include "families/Mcu.h"
#include "families/Pic.h"
#include "families/Pic18.h"
#include "families/Pld.h"
#include "families/Serial.h"
#include "link/Link.h"
#include "operations/Host.h"
#include "operations/Report.h"
#include "operations/Thread1.h"

namespace tesmar {

namespace {

struct FamilyRoutines {
    char letter;
    bool (*check)(AppState&);  // null: no check
    void (*operation)(AppState&);
};

bool epromCheck(AppState& st) {
    // Odd/even pairs are two chips in turn; the signature is not checked.
    return st.OddEvenMode ? true : EpromCheckChipId(st);
}

bool flashCheck(AppState& st) {
    // Every operation starts out allowed to erase the whole chip; the check
    // takes that back when the chip reports protected blocks.
    st.ChipErasable = 1;
    return FlashCheckChipId(st);
}

// Kind 'C' is two families: PIC18 parts (algorithm 18) and the smaller PICs.
void picOperation(AppState& st) {
    if (st.dev()->isPic18())
        Pic18DoOperation(st);
    else
        PicDoOperation(st);
}

constexpr FamilyRoutines kFamilies[] = {
    {'C', nullptr, picOperation},
    {'R', epromCheck, EpromDoOperation},
    {'O', epromCheck, EpromDoOperation},
    {'E', flashCheck, FlashDoOperation},
    {'F', flashCheck, FlashDoOperation},
    {'S', SerialCheckChipId, SerialDoOperation},
    {'M', McuCheckChipId, McuDoOperation},
    {'P', PldCheckSignature, PldDoOperation},
};

const FamilyRoutines* routinesFor(char letter) {
    for (const auto& f : kFamilies)
        if (f.letter == letter) return &f;
    return nullptr;
}

}  // namespace

bool familyHasRoutine(char letter) { return routinesFor(letter) != nullptr; }

bool familyHasRoutine(const DeviceRecord& rec) { return familyHasRoutine(rec.FamilyLetter); }

void ExecuteOperation(AppState& st) {
    if (CheckOverCurrent(st)) {
        st.ErrorFlag.increment();
        memo(st, "Over Current!");
    } else if (const DeviceRecord* rec = st.dev()) {
        if (const FamilyRoutines* f = routinesFor(rec->FamilyLetter)) {
            if (!f->check || f->check(st))
                f->operation(st);
            else
                st.ErrorFlag.increment();
        }
    }
    if (st.ErrorFlag.get() != 0 || st.RunFlag.load() == 0) {
        if (st.host) st.host->closeProgress();
    }
}

void Thread1::run() { ExecuteOperation(st_); }

}  // namespace tesmar
