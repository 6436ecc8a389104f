#pragma once
// What the window tests ask of the reader's page: a script's answer, waited for.

#include <QTest>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <filesystem>
#include <memory>
#include <optional>

#include "web/file_io.h"

namespace novel {

// How long a test waits for a page to be read and shown.
inline constexpr int kPageTimeout = 30000;

// The page's answer to a script; an invalid value when none came in time.
inline QVariant evaluate(QWebEngineView* view, const QString& script) {
    auto answer = std::make_shared<std::optional<QVariant>>();
    view->page()->runJavaScript(script, [answer](const QVariant& value) { *answer = value; });
    if (!QTest::qWaitFor([&] { return answer->has_value(); }, 10000)) return {};
    return answer->value_or(QVariant());
}

inline Bytes fileBytes(const QString& path) {
    return readFileBytes(std::filesystem::path(path.toStdString()));
}

}  // namespace novel
