// Entry point: the simulated programmer with TESMAR_PORT=simulator, else the
// real one over libftdi.
#include <QApplication>
#include <QMessageBox>
#include <exception>
#include <memory>

#include "app/gui/TfrmMains.h"
#include "link/LibFtdiPort.h"
#include "sim/SimProgrammer.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tesmar");
    QApplication::setOrganizationName("Halvorn");
    try {
        std::unique_ptr<tesmar::UsbPort> port;
        tesmar::sim::SimProgrammer* simulator = nullptr;
        if (qgetenv("TESMAR_PORT") == "simulator") {
            auto s = std::make_unique<tesmar::sim::SimProgrammer>();
            s->setLogLimit(0);  // nobody reads the log here: it must not grow per operation
            simulator = s.get();
            port = std::move(s);
        } else {
            port = std::make_unique<tesmar::LibFtdiPort>();
        }
        tesmar::TfrmMains window(port.get());
        if (simulator) {
            window.state().onDeviceSelected = [simulator](const tesmar::DeviceRecord& rec) {
                simulator->insertBlankChipFor(rec);
            };
            window.state().onIcTestStart = [simulator](const std::string& icName, int) {
                simulator->insertLogicIc(icName);
            };
        }
        window.show();
        return app.exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, "Tesmar", QString::fromLocal8Bit(e.what()));
        return 1;
    }
}
