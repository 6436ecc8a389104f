#include "app/skin.h"

#include <QApplication>
#include <QColor>
#include <QPalette>

namespace novel {
namespace {

// Skin 9: light blue-grey windows, white fields, blue accents.
QPalette skin9Palette() {
    QPalette palette = QApplication::palette();
    const QColor window(0xee, 0xf3, 0xf9);
    const QColor text(0x1f, 0x2d, 0x3d);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::AlternateBase, QColor(0xf2, 0xf6, 0xfb));
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(0xe4, 0xec, 0xf6));
    palette.setColor(QPalette::ButtonText, QColor(0x1f, 0x3a, 0x5f));
    palette.setColor(QPalette::Highlight, QColor(0x3d, 0x7f, 0xd6));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::ToolTipBase, QColor(0xff, 0xfd, 0xe8));
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::Link, QColor(0x1a, 0x5f, 0xb4));
    return palette;
}

constexpr const char* kSkin9StyleSheet = R"css(
QPushButton {
    color: #1f3a5f;
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:1 #dce6f2);
    border: 1px solid #9fb4cc;
    border-radius: 3px;
    padding: 3px 10px;
}
QPushButton:hover {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:1 #cadcf2);
    border-color: #5b8fd0;
}
QPushButton:pressed { background: #c0d4ee; }
QPushButton:flat {
    background: rgba(255, 255, 255, 110);
    border: 1px solid #c3d2e4;
    border-radius: 3px;
    padding: 2px 4px;
}
QPushButton:flat:hover { background: #d6e4f6; border-color: #9fb4cc; }
QPushButton:flat:pressed { background: #c0d4ee; }
QPushButton#SearchButton, QPushButton#SearchButton:hover, QPushButton#SearchButton:pressed {
    background: transparent;
    border: none;
    padding: 0;
}

QComboBox QAbstractItemView {
    background: #ffffff;
    border: 1px solid #9fb4cc;
    selection-background-color: #3d7fd6;
    selection-color: #ffffff;
}

QLineEdit, QPlainTextEdit {
    background: #ffffff;
    border: 1px solid #9fb4cc;
    border-radius: 2px;
    selection-background-color: #3d7fd6;
    selection-color: #ffffff;
}
QLineEdit:focus, QPlainTextEdit:focus { border-color: #5b8fd0; }

QTreeWidget {
    background: #ffffff;
    alternate-background-color: #f2f6fb;
    border: 1px solid #9fb4cc;
    selection-background-color: #3d7fd6;
    selection-color: #ffffff;
}
QHeaderView::section {
    color: #1f3a5f;
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #fafcfe, stop:1 #e1e9f4);
    border: none;
    border-right: 1px solid #c8d6e6;
    border-bottom: 1px solid #9fb4cc;
    padding: 3px 4px;
}

QStatusBar {
    background: #e1e9f4;
    border: 1px solid #c8d6e6;
    color: #1f3a5f;
}
QStatusBar::item { border: none; }

QCheckBox { spacing: 3px; }

QProgressBar {
    background: #ffffff;
    border: 1px solid #9fb4cc;
    border-radius: 3px;
    text-align: center;
    color: #1f2d3d;
}
QProgressBar::chunk {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #74abeb, stop:1 #3d7fd6);
    border-radius: 2px;
}

QLabel#ToolbarStripLabel {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #fbfcfe, stop:1 #dae4f0);
    border-bottom: 1px solid #b4c6db;
}

QMenu {
    background: #ffffff;
    border: 1px solid #9fb4cc;
    padding: 2px;
}
QMenu::item { padding: 4px 22px; }
QMenu::item:selected { background: #3d7fd6; color: #ffffff; }

QToolTip {
    color: #1f2d3d;
    background: #fffde8;
    border: 1px solid #c9b96a;
}
)css";

}  // namespace

void applySkin(int number) {
    if (number != kProgramSkin) return;
    QApplication::setPalette(skin9Palette());
    qApp->setStyleSheet(QString::fromUtf8(kSkin9StyleSheet));
}

}  // namespace novel
