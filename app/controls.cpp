#include "app/controls.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QStringList>

#include "app/qt_text.h"

namespace novel {

void setUpReportList(QTreeWidget* list, std::initializer_list<ListColumn> columns) {
    list->setColumnCount(static_cast<int>(columns.size()));
    QStringList captions;
    for (const ListColumn& column : columns) captions << column.caption;
    list->setHeaderLabels(captions);
    int index = 0;
    for (const ListColumn& column : columns) {
        list->setColumnWidth(index, column.width);
        list->setColumnHidden(index, column.width == 0);
        ++index;
    }
    list->header()->setStretchLastSection(false);
    list->header()->setSectionsMovable(false);
    list->setSortingEnabled(false);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setAlternatingRowColors(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
}

QTreeWidgetItem* appendRow(QTreeWidget* list, std::initializer_list<QString> cells) {
    auto* item = new QTreeWidgetItem(list);
    int column = 0;
    for (const QString& cell : cells) item->setText(column++, cell);
    return item;
}

ClickableLabel::ClickableLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setCursor(Qt::PointingHandCursor);
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

TemplateEdit::TemplateEdit(std::string_view initialText, QWidget* parent) : QPlainTextEdit(parent) {
    setTemplateText(initialText);
}

void TemplateEdit::setTemplateText(std::string_view gbk) {
    text_ = Text(gbk);
    setPlainText(toQString(gbk));
}

}  // namespace novel
