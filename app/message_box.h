#pragma once
// How the program tells the user something: a modal box with an OK button and no icon.

#include <QString>
#include <functional>

class QWidget;

namespace novel {

// Shows `text` in a modal message box over `parent` and returns when the user has pressed OK.
void showMessage(QWidget* parent, const QString& text,
                 const QString& caption = QStringLiteral("信息："));

// When the last page request on this thread failed, tells the user why (after `what`, e.g.
// "读取网页失败") and returns true; the caller then leaves everything as it was.
bool showFetchProblem(QWidget* parent, const QString& what = QStringLiteral("读取网页失败"));

// While a hook is set, messages go to it instead of to the screen (tests read them this way).
// An empty hook restores the message boxes.
using MessageHook = std::function<void(const QString& text, const QString& caption)>;
void setMessageHook(MessageHook hook);

}  // namespace novel
