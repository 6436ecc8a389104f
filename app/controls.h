#pragma once
// Small pieces shared by the window classes: naming a control, report-style list views, the
// clickable label and the hidden template box, and how window sizes are read.

#include <QLabel>
#include <QPlainTextEdit>
#include <QSize>
#include <QString>
#include <QTreeWidget>
#include <initializer_list>
#include <string_view>

#include "web/text.h"

namespace novel {

// Window sizes are outer sizes laid out for a frame of 8 px on each side and a 30 px title bar;
// the client area is that size minus this nominal frame, whatever frame the window manager draws,
// so every control fits the same way everywhere.
inline constexpr int kNominalFrameWidth = 16;
inline constexpr int kNominalFrameHeight = 38;

inline QSize clientSizeFor(int outerWidth, int outerHeight) {
    return {outerWidth - kNominalFrameWidth, outerHeight - kNominalFrameHeight};
}

// Gives a control its name (tests and accessibility tools find it by that name) and returns it.
template <typename Control>
Control* named(Control* control, const char* name) {
    control->setObjectName(QLatin1String(name));
    return control;
}

struct ListColumn {
    QString caption;
    int width;  // 0: the column carries data without being seen
};

// A list view in report mode: one row per item, fixed columns, never sorted.
void setUpReportList(QTreeWidget* list, std::initializer_list<ListColumn> columns);

// Appends a row whose cells are the given texts in column order.
QTreeWidgetItem* appendRow(QTreeWidget* list, std::initializer_list<QString> cells);

// A label that reports a left click, for links and for the chapter labels.
class ClickableLabel : public QLabel {
    Q_OBJECT
  public:
    explicit ClickableLabel(const QString& text = {}, QWidget* parent = nullptr);

  signals:
    void clicked();

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// A hidden multi-line edit box used as a store for one reader page template. Qt's text document
// turns CR LF into plain line breaks, while the page and the configuration files need the bytes
// exactly as held, so the box keeps the GBK text itself and shows a copy of it.
class TemplateEdit : public QPlainTextEdit {
    Q_OBJECT
  public:
    explicit TemplateEdit(std::string_view initialText, QWidget* parent = nullptr);

    const Text& templateText() const { return text_; }
    void setTemplateText(std::string_view gbk);

  private:
    Text text_;
};

}  // namespace novel
