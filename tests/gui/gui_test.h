#pragma once
// Entry point of a window test: Qt WebEngine wants shared OpenGL contexts before the application
// object exists, so QTEST_MAIN is not enough.

#include <QApplication>
#include <QTest>

#define NOVEL_GUI_TEST_MAIN(TestObject)                             \
    int main(int argc, char** argv) {                               \
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); \
        QApplication app(argc, argv);                               \
        TestObject test;                                            \
        return QTest::qExec(&test, argc, argv);                     \
    }
