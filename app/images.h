#pragma once
// The program's pictures, drawn at start; nothing is read from disk.

#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace novel {

QIcon programIcon();           // 48 x 48, the main window's icon
QImage bannerImage();          // 700 x 130, shown scaled in BannerPicture
QPixmap searchButtonBitmap();  // 92 x 34, "搜索" in white on blue
QImage aboutImage();           // 160 x 224, the product title over an open book

}  // namespace novel
