#include "reader/reading_bar.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <initializer_list>

#include "app/controls.h"
#include "reader/reader_themes.h"

namespace novel {

ReadingBar::ReadingBar(int height, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ReadingBar"));
    prevChapterButton = named(new QPushButton(QStringLiteral("上一章"), this), "PrevChapterButton");
    nextChapterButton = named(new QPushButton(QStringLiteral("下一章"), this), "NextChapterButton");
    themeCaptionLabel = named(new QLabel(QStringLiteral("主题："), this), "ThemeCaptionLabel");
    themeCombo = named(new QComboBox(this), "ThemeCombo");
    for (const ReaderTheme& theme : readerThemes())
        themeCombo->addItem(QString::fromUtf8(theme.name.data(), qsizetype(theme.name.size())));
    themeCombo->setFixedWidth(54);
    layoutButton = named(new QPushButton(QStringLiteral("版式"), this), "LayoutButton");
    layoutButton->setToolTip(QStringLiteral("每行字数、行距和段落间距"));
    immersiveButton = named(new QPushButton(QStringLiteral("全屏阅读"), this), "ImmersiveButton");
    immersiveButton->setToolTip(QStringLiteral("只显示正文（F11，Esc 退出）"));

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    for (QWidget* control :
         std::initializer_list<QWidget*>{prevChapterButton, nextChapterButton, themeCaptionLabel,
                                         themeCombo, layoutButton, immersiveButton}) {
        control->setFixedHeight(height);
        row->addWidget(control);
    }
    for (QPushButton* button :
         {prevChapterButton, nextChapterButton, layoutButton, immersiveButton}) {
        button->setFlat(true);
        button->setFixedWidth(button->fontMetrics().horizontalAdvance(button->text()) + 12);
        // The focus stays where it was, so that Space goes on paging the text.
        button->setFocusPolicy(Qt::NoFocus);
    }
}

}  // namespace novel
