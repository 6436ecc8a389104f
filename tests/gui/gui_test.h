#pragma once
// Entry point of a window test: Qt WebEngine wants shared OpenGL contexts before the application
// object exists, so QTEST_MAIN is not enough.

#include <QApplication>
#include <QTest>
#include <QTimer>

#define NOVEL_GUI_TEST_MAIN(TestObject)                             \
    int main(int argc, char** argv) {                               \
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); \
        QApplication app(argc, argv);                               \
        TestObject test;                                            \
        return QTest::qExec(&test, argc, argv);                     \
    }

// Runs a message loop (for example the program's own) and says whether it ended by itself with
// exit code 0. A loop that never ends would hang the test: after 20 s it is ended by force and
// this answers false.
template <typename RunLoop>
bool endsInTime(RunLoop&& runLoop) {
    bool forced = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        forced = true;
        QCoreApplication::exit(1);
    });
    guard.start(20000);
    const int code = runLoop();
    return code == 0 && !forced;
}
