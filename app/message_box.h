#pragma once
// How the program tells the user something: a modal box with an OK button and no icon.

#include <QString>
#include <functional>

class QWidget;

namespace novel {

// Shows `text` in a modal message box over `parent` and returns when the user has pressed OK.
void showMessage(QWidget* parent, const QString& text,
                 const QString& caption = QStringLiteral("信息："));

// While a hook is set, messages go to it instead of to the screen (tests read them this way).
// An empty hook restores the message boxes.
using MessageHook = std::function<void(const QString& text, const QString& caption)>;
void setMessageHook(MessageHook hook);

}  // namespace novel
