#include "reader/reader_view.h"

#include <dlfcn.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStringList>

namespace novel {
namespace {

using Factory = ReaderView* (*)(const QUrl&, const LinkOpener&, QWidget*);
constexpr const char* kFactoryName = "novelCreateReaderView";

// The module beside the program (a build tree), or where an installed program keeps it. A
// process that links the module (the tests) has the factory already.
Factory findFactory(QString* problem) {
    if (auto* linked = reinterpret_cast<Factory>(dlsym(RTLD_DEFAULT, kFactoryName))) return linked;
    const QString programFolder = QCoreApplication::applicationDirPath();
    const QStringList places = {programFolder,
                                QDir(programFolder).filePath(QStringLiteral(NOVEL_MODULE_DIR))};
    QString lastError;
    for (const QString& place : places) {
        const QString file = QDir(place).filePath(QStringLiteral("libnovelreader_webview.so"));
        if (!QFile::exists(file)) continue;
        void* handle = dlopen(QFile::encodeName(file).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            lastError = QString::fromLocal8Bit(dlerror());
            continue;
        }
        if (auto* factory = reinterpret_cast<Factory>(dlsym(handle, kFactoryName))) return factory;
    }
    if (problem)
        *problem = lastError.isEmpty() ? QStringLiteral("找不到网页组件 libnovelreader_webview.so")
                                       : QStringLiteral("无法载入网页组件（%1）").arg(lastError);
    return nullptr;
}

}  // namespace

ReaderView* createReaderView(const QUrl& allowedPage, LinkOpener openLink, QWidget* parent,
                             QString* problem) {
    static QString loadProblem;
    static Factory factory = findFactory(&loadProblem);
    if (!factory && problem) *problem = loadProblem;
    return factory ? factory(allowedPage, openLink, parent) : nullptr;
}

}  // namespace novel
