// Where the program keeps and finds its files: beside itself when run from a build or a copied
// folder, in the user's folders when installed under a prefix (even one the user can write).

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "app/app_state.h"
#include "app/program_folders.h"
#include "catalogue/site_config.h"
#include "commands/desktop_open.h"
#include "gui_test.h"
#include "web/file_io.h"

namespace novel {

class ProgramFoldersTest : public QObject {
    Q_OBJECT

    QTemporaryDir root_;
    QString dataHtml_;
    QString configIni_;

    void write(const QString& path, const std::string& text) {
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QVERIFY(!writeFileAtomically(path.toStdString(), text));
    }

  private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);  // keeps the user's real folders out of it
        QVERIFY(root_.isValid());
        dataHtml_ = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/html";
        configIni_ =
            QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + "/site.ini";
        QFile::remove(configIni_);
    }

    void besideTheProgramWhenNotInstalled() {
        const QString folder = root_.path() + "/build/app";
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(!isInstalledProgram(folder));
        QCOMPARE(htmlFolderFor(folder), folder + "/html");
        QCOMPARE(helpPageFor(folder), folder + "/help.html");
        QCOMPARE(downloadBaseFor(folder), folder);

        // No site.ini beside it: the user's configuration folder; one beside it wins.
        QCOMPARE(siteIniFor(folder), configIni_);
        write(folder + "/site.ini", "site = http://127.0.0.1:1\n");
        QCOMPARE(siteIniFor(folder), folder + "/site.ini");
    }

    void userFoldersWhenInstalled() {
        // A prefix the user owns, as `cmake --install --prefix ~/.local` makes it.
        const QString prefix = root_.path() + "/prefix";
        const QString bin = prefix + "/bin";
        write(prefix + "/share/novelreader/help.html", "<html></html>");
        QVERIFY(QDir().mkpath(bin));
        QVERIFY(isInstalledProgram(bin));
        QVERIFY(!isInstalledProgram(prefix));
        QVERIFY(!isInstalledProgram(QString()));

        // The bin folder is writable, yet settings and bookmarks do not go there.
        QCOMPARE(htmlFolderFor(bin), dataHtml_);
        QCOMPARE(QFileInfo(helpPageFor(bin)).canonicalFilePath(),
                 QFileInfo(prefix + "/share/novelreader/help.html").canonicalFilePath());
        QCOMPARE(downloadBaseFor(bin), QDir::currentPath());
        QCOMPARE(makerPageUrl("", bin).toLocalFile(), helpPageFor(bin));

        // The user's site.ini is the one read.
        QCOMPARE(siteIniFor(bin), configIni_);
        write(configIni_, "site = http://127.0.0.1:9/\nbrand_latin = mine\n");
        const SiteConfig config = loadSiteConfig(siteIniFor(bin).toStdString());
        QCOMPARE(QString::fromStdString(config.site), QStringLiteral("http://127.0.0.1:9"));
        QCOMPARE(QString::fromStdString(config.brandLatin), QStringLiteral("mine"));
        QVERIFY(QFile::remove(configIni_));
    }
};

}  // namespace novel

NOVEL_GUI_TEST_MAIN(novel::ProgramFoldersTest)
#include "program_folders_test.moc"
