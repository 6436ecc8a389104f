#include "app/program.h"

#include <QApplication>

#include "app/app_state.h"
#include "app/main_window.h"

namespace novel {

int runProgram(AppState& state) {
    // The main window alone decides when the program ends (see MainWindow::closeEvent).
    QApplication::setQuitOnLastWindowClosed(false);
    MainWindow window(state);
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, &window,
                     [&state] { state.runExitCleanup(); });
    window.show();
    QApplication::exec();
    state.runExitCleanup();
    return 0;
}

}  // namespace novel
