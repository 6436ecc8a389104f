#include "app/message_box.h"

#include <QMessageBox>
#include <utility>

#include "web/http.h"

namespace novel {
namespace {

MessageHook& messageHook() {
    static MessageHook hook;
    return hook;
}

}  // namespace

void showMessage(QWidget* parent, const QString& text, const QString& caption) {
    if (const MessageHook& hook = messageHook()) {
        hook(text, caption);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

bool showFetchProblem(QWidget* parent, const QString& what) {
    const std::string problem = lastFetchProblem();
    if (problem.empty()) return false;
    showMessage(parent, what + QStringLiteral("：") + QString::fromStdString(problem));
    return true;
}

void setMessageHook(MessageHook hook) {
    messageHook() = std::move(hook);
}

}  // namespace novel
