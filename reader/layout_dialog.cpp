#include "reader/layout_dialog.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QPushButton>
#include <QSpinBox>

namespace novel {

LayoutDialog::LayoutDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("LayoutDialog"));
    setWindowTitle(QStringLiteral("版式"));

    measure_ = new QSpinBox(this);
    measure_->setObjectName(QStringLiteral("MeasureSpin"));
    measure_->setRange(ReaderLayout::kMinMeasure, ReaderLayout::kMaxMeasure);
    measure_->setSuffix(QStringLiteral(" 字"));

    lineHeight_ = new QDoubleSpinBox(this);
    lineHeight_->setObjectName(QStringLiteral("LineHeightSpin"));
    lineHeight_->setRange(ReaderLayout::kMinLineHeight, ReaderLayout::kMaxLineHeight);
    lineHeight_->setSingleStep(0.1);
    lineHeight_->setDecimals(2);
    lineHeight_->setSuffix(QStringLiteral(" 倍"));

    paragraphSpacing_ = new QDoubleSpinBox(this);
    paragraphSpacing_->setObjectName(QStringLiteral("ParagraphSpacingSpin"));
    paragraphSpacing_->setRange(ReaderLayout::kMinParagraphSpacing,
                                ReaderLayout::kMaxParagraphSpacing);
    paragraphSpacing_->setSingleStep(0.1);
    paragraphSpacing_->setDecimals(2);
    paragraphSpacing_->setSuffix(QStringLiteral(" 字"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("LayoutOkButton"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("每行字数："), measure_);
    form->addRow(QStringLiteral("行距："), lineHeight_);
    form->addRow(QStringLiteral("段落间距："), paragraphSpacing_);
    form->addRow(buttons);
    setReaderLayout(ReaderLayout{});
}

void LayoutDialog::setReaderLayout(const ReaderLayout& wanted) {
    const ReaderLayout layout = validLayout(wanted);
    measure_->setValue(layout.measure);
    lineHeight_->setValue(layout.lineHeight);
    paragraphSpacing_->setValue(layout.paragraphSpacing);
}

ReaderLayout LayoutDialog::readerLayout() const {
    return validLayout({measure_->value(), lineHeight_->value(), paragraphSpacing_->value()});
}

}  // namespace novel
