// The main window's IC Test button.
#include "app/gui/Commands.h"
#include "app/gui/TfrmMains.h"
#include "ictest/gui/TfrmIcTest.h"

namespace tesmar {

void runIcTest(TfrmMains& w) {
    TfrmIcTest dialog(w.state(), &w);
    dialog.exec();
}

}  // namespace tesmar
