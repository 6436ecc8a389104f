#include <unistd.h>

#include <QApplication>

#include "app/app_state.h"
#include "app/program.h"
#include "speech/qt_speaker.h"

int main(int /*argc*/, char** argv) {
    // Qt WebEngine refuses to start its sandbox as root.
    if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // No shared GL context at start: the web engine, which needs one, makes it when the reader
    // first opens, so a program that only browses never loads it.
    int argc = 1;  // the program takes no command-line arguments
    QApplication app(argc, argv);
    const auto state = novel::AppState::forProgram();
    state->speakerFactory = [](QObject* parent) { return new novel::QtSpeaker(parent); };
    return novel::runProgram(*state);
}
