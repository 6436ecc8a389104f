// The real program starts, stays up, and has no command line to feed it.

#include <QProcess>

#include "gui_test.h"

class ProgramSmokeTest : public QObject {
    Q_OBJECT

  private slots:
    void startsAndKeepsRunning() {
        QProcess program;
        program.setProgram(QStringLiteral(NOVELREADER_PATH));
        program.start();
        QVERIFY(program.waitForStarted(5000));
        QTest::qWait(3000);
        QCOMPARE(program.state(), QProcess::Running);
        program.kill();
        QVERIFY(program.waitForFinished(5000));
    }
};

NOVEL_GUI_TEST_MAIN(ProgramSmokeTest)
#include "program_smoke_test.moc"
