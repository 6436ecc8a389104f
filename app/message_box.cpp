#include "app/message_box.h"

#include <QMessageBox>
#include <utility>

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

void setMessageHook(MessageHook hook) {
    messageHook() = std::move(hook);
}

}  // namespace novel
