#pragma once
// The program's pictures, drawn at start; nothing is read from disk. The build also draws the
// program icon into the PNG files the desktop's application menu shows.

#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace novel {

// The sizes the desktop's icon theme gets (hicolor); 48 is the main window's.
inline constexpr int kProgramIconSizes[] = {16, 32, 48, 64, 128, 256};
QImage programIconImage(int size);  // size x size, the same picture at every size
QIcon programIcon();                // the main window's icon, at every size above
QImage bannerImage();               // 700 x 130, shown scaled in BannerPicture
QPixmap searchButtonBitmap();       // 92 x 34, "搜索" in white on blue
QImage aboutImage();                // 160 x 224, the product title over an open book

}  // namespace novel
