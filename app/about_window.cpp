#include "app/about_window.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/app_state.h"
#include "app/controls.h"
#include "app/images.h"
#include "commands/desktop_open.h"

namespace novel {

AboutWindow::AboutWindow(AppState& state, QWidget* parent) : QDialog(parent), state_(state) {
    setObjectName(QStringLiteral("AboutWindow"));
    setWindowTitle(QString());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(clientSizeFor(527, 290));
    const SiteConfig& config = state_.config;

    aboutPicture_ = named(new QLabel(this), "AboutPicture");
    aboutPicture_->setGeometry(10, 14, 160, 224);
    aboutPicture_->setPixmap(QPixmap::fromImage(aboutImage()));

    const int left = 186;
    const int lineWidth = width() - left - 10;
    authorLabel_ = named(new QLabel(QStringLiteral("作者： 墨舟工坊"), this), "AuthorLabel");
    authorLabel_->setGeometry(left, 14, lineWidth, 20);

    homePageLabel_ =
        named(new ClickableLabel(
                  QStringLiteral("主页： ") + QString::fromStdString(config.homePage), this),
              "HomePageLabel");
    homePageLabel_->setStyleSheet(QStringLiteral("color: #1a5fb4;"));
    homePageLabel_->setGeometry(left, 36, lineWidth, 20);

    mailLabel_ =
        named(new QLabel(QStringLiteral("邮箱： ") + QString::fromStdString(config.mail), this),
              "MailLabel");
    mailLabel_->setGeometry(left, 58, lineWidth, 20);

    contactLabel_ =
        named(new QLabel(QString::fromStdString(config.imNumber), this), "ContactLabel");
    contactLabel_->setGeometry(left, 80, lineWidth - 100, 20);

    checkUpdateButton_ =
        named(new QPushButton(QStringLiteral("检测更新"), this), "CheckUpdateButton");
    checkUpdateButton_->setGeometry(width() - 100, 76, 88, 26);

    noticeEdit_ = named(new QPlainTextEdit(this), "NoticeEdit");
    noticeEdit_->setReadOnly(true);
    noticeEdit_->setGeometry(left, 110, lineWidth, 128);
    noticeEdit_->setPlainText(
        QStringLiteral("    警告：本软件受著作权法保护。未经许可，任何单位或个人不得复制、"
                       "传播、修改或出售本软件的全部或部分，违者将依法追究责任。\n"
                       "    本软件的部分模块来源于网络。\n"
                       "    本软件中的书籍资料均来自") +
        QString::fromStdString(config.brandChinese) +
        QStringLiteral("，版权归原作者及该网站所有，本软件仅提供浏览与阅读的便利。"));

    // A line whose value the deployment did not configure would show a caption with nothing.
    homePageLabel_->setVisible(!config.homePage.empty());
    mailLabel_->setVisible(!config.mail.empty());
    contactLabel_->setVisible(!config.imNumber.empty());

    // Event bindings.
    connect(homePageLabel_, &ClickableLabel::clicked, this, &AboutWindow::openHomePage);
    connect(checkUpdateButton_, &QPushButton::clicked, this, &AboutWindow::openHelpPage);
}

void AboutWindow::openHomePage() {
    openMakerPage(state_.config.homePage, state_.programFolder);
}

void AboutWindow::openHelpPage() {
    openMakerPage(state_.config.helpPage, state_.programFolder);
}

}  // namespace novel
