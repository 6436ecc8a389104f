#pragma once
// The "版式" dialog: characters per line, line height and paragraph spacing of the reader page.

#include <QDialog>

#include "reader/reader_layout.h"

class QDoubleSpinBox;
class QSpinBox;

namespace novel {

class LayoutDialog : public QDialog {
    Q_OBJECT
  public:
    explicit LayoutDialog(QWidget* parent = nullptr);

    // The boxes hold values within the layout's ranges only.
    void setReaderLayout(const ReaderLayout& layout);
    ReaderLayout readerLayout() const;

  private:
    QSpinBox* measure_;
    QDoubleSpinBox* lineHeight_;
    QDoubleSpinBox* paragraphSpacing_;
};

}  // namespace novel
