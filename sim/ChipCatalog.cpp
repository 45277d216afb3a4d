// Which chip model stands in the socket for a selected device. Families
// without a model leave the socket empty: their frames go unanswered and are
// noted as protocol errors.
#include "sim/EpromChip.h"
#include "sim/FlashChip.h"
#include "sim/McuChip.h"
#include "sim/Pic18Chip.h"
#include "sim/PldChip.h"
#include "sim/PicChip.h"
#include "sim/SerialChip.h"
#include "sim/SimProgrammer.h"

namespace tesmar::sim {

std::shared_ptr<Chip> makeBlankChip(const tesmar::DeviceRecord& rec) {
    switch (rec.FamilyLetter) {
    case 'R':
    case 'O':
        return EpromChip::blankFor(rec);
    case 'E':
    case 'F':
        return FlashChip::blankFor(rec);
    case 'S':
        return SerialChip::blankFor(rec);
    case 'M':
        return McuChip::blankFor(rec);
    case 'C':
        if (rec.isPic18()) return Pic18Chip::blankFor(rec);
        return PicChip::blankFor(rec);
    case 'P':
        return PldChip::blankFor(rec);
    default:
        return nullptr;
    }
}

}  // namespace tesmar::sim
