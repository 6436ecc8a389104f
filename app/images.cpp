#include "app/images.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace novel {
namespace {

QFont drawingFont(int pixelSize, bool bold = false) {
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

// An open book seen from above: two pages bending away from the spine at (centre, spineTop),
// `half` wide on each side and `height` tall, with a few lines of text on each page.
void drawOpenBook(QPainter& p, qreal centre, qreal spineTop, qreal half, qreal height,
                  const QColor& cover, const QColor& page, const QColor& lines) {
    const qreal bend = height * 0.08;
    // The cover shows a little below and beside the pages.
    QPainterPath coverPath;
    coverPath.moveTo(centre, spineTop + 4);
    coverPath.cubicTo(centre - half * 0.4, spineTop - bend + 4, centre - half * 0.8,
                      spineTop - bend + 4, centre - half - 4, spineTop + 2);
    coverPath.lineTo(centre - half - 4, spineTop + height + 6);
    coverPath.cubicTo(centre - half * 0.8, spineTop + height - bend + 6, centre - half * 0.4,
                      spineTop + height - bend + 6, centre, spineTop + height + 8);
    coverPath.cubicTo(centre + half * 0.4, spineTop + height - bend + 6, centre + half * 0.8,
                      spineTop + height - bend + 6, centre + half + 4, spineTop + height + 6);
    coverPath.lineTo(centre + half + 4, spineTop + 2);
    coverPath.cubicTo(centre + half * 0.8, spineTop - bend + 4, centre + half * 0.4,
                      spineTop - bend + 4, centre, spineTop + 4);
    p.setPen(Qt::NoPen);
    p.setBrush(cover);
    p.drawPath(coverPath);

    for (int side : {-1, 1}) {
        QPainterPath pagePath;
        pagePath.moveTo(centre, spineTop);
        pagePath.cubicTo(centre + side * half * 0.4, spineTop - bend, centre + side * half * 0.8,
                         spineTop - bend, centre + side * half, spineTop);
        pagePath.lineTo(centre + side * half, spineTop + height);
        pagePath.cubicTo(centre + side * half * 0.8, spineTop + height - bend,
                         centre + side * half * 0.4, spineTop + height - bend, centre,
                         spineTop + height);
        pagePath.closeSubpath();
        QLinearGradient shade(centre, 0, centre + side * half, 0);
        shade.setColorAt(0, page.darker(118));
        shade.setColorAt(0.15, page);
        shade.setColorAt(1, page.lighter(104));
        p.setBrush(shade);
        p.setPen(QPen(page.darker(130), 1));
        p.drawPath(pagePath);

        p.setPen(QPen(lines, 1.2));
        const int lineCount = 6;
        for (int i = 0; i < lineCount; ++i) {
            const qreal y = spineTop + height * (0.2 + 0.12 * i);
            const qreal from = centre + side * half * 0.14;
            const qreal to = centre + side * half * (i == lineCount - 1 ? 0.55 : 0.86);
            QPainterPath line;
            line.moveTo(from, y - bend * 0.55);
            line.quadTo((from + to) / 2, y - bend * 1.05, to, y - bend * 0.5);
            p.setBrush(Qt::NoBrush);
            p.drawPath(line);
        }
    }
    p.setPen(QPen(page.darker(150), 1.5));
    p.drawLine(QPointF(centre, spineTop), QPointF(centre, spineTop + height));
}

}  // namespace

QImage programIconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 48-unit grid, so every size is the same picture.
    p.scale(size / 48.0, size / 48.0);
    QLinearGradient background(0, 0, 0, 48);
    background.setColorAt(0, QColor(0x4f, 0x95, 0xe8));
    background.setColorAt(1, QColor(0x1d, 0x5c, 0xb0));
    p.setPen(Qt::NoPen);
    p.setBrush(background);
    p.drawRoundedRect(QRectF(1, 1, 46, 46), 9, 9);
    drawOpenBook(p, 24, 15, 16, 22, QColor(0x12, 0x3d, 0x7a), QColor(0xfb, 0xf8, 0xef),
                 QColor(0x9c, 0xae, 0xc8));
    return image;
}

QIcon programIcon() {
    QIcon icon;
    for (int size : kProgramIconSizes) icon.addPixmap(QPixmap::fromImage(programIconImage(size)));
    return icon;
}

QImage bannerImage() {
    QImage image(700, 130, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient sky(0, 0, 700, 130);
    sky.setColorAt(0, QColor(0x17, 0x3f, 0x7a));
    sky.setColorAt(0.55, QColor(0x2a, 0x6c, 0xc2));
    sky.setColorAt(1, QColor(0x5c, 0xa4, 0xe6));
    p.fillRect(image.rect(), sky);

    // Soft light behind the book.
    QRadialGradient glow(590, 70, 120);
    glow.setColorAt(0, QColor(255, 255, 255, 90));
    glow.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(image.rect(), glow);

    // Ink-wave lines along the bottom.
    for (int i = 0; i < 3; ++i) {
        QPainterPath wave;
        const qreal base = 104 + i * 9;
        wave.moveTo(0, base);
        for (int x = 0; x <= 700; x += 70)
            wave.quadTo(x + 35, base + (i % 2 ? 7 : -7), x + 70, base);
        p.setPen(QPen(QColor(255, 255, 255, 40 + 25 * i), 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawPath(wave);
    }

    drawOpenBook(p, 590, 32, 78, 62, QColor(0x0f, 0x2f, 0x5e), QColor(0xfc, 0xf9, 0xf0),
                 QColor(0x9c, 0xae, 0xc8));

    p.setPen(Qt::white);
    p.setFont(drawingFont(40, true));
    p.drawText(QRectF(34, 14, 440, 56), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("墨舟工坊"));
    p.setFont(drawingFont(22));
    p.drawText(QRectF(36, 66, 440, 30), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("小说下载阅读助手 1.0"));
    p.setPen(QColor(0xd6, 0xe6, 0xfa));
    p.setFont(drawingFont(14));
    p.drawText(QRectF(38, 96, 440, 22), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("排行 · 分类 · 搜索 · 阅读 · 书签 · 整本下载"));
    return image;
}

QPixmap searchButtonBitmap() {
    QPixmap pixmap(92, 34);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QLinearGradient blue(0, 0, 0, 34);
    blue.setColorAt(0, QColor(0x5a, 0x9c, 0xec));
    blue.setColorAt(0.5, QColor(0x2f, 0x78, 0xd4));
    blue.setColorAt(1, QColor(0x1c, 0x5b, 0xaf));
    p.setPen(QPen(QColor(0x17, 0x4c, 0x93), 1));
    p.setBrush(blue);
    p.drawRoundedRect(QRectF(0.5, 0.5, 91, 33), 5, 5);
    p.setPen(Qt::white);
    p.setFont(drawingFont(17, true));
    p.drawText(QRectF(0, 0, 92, 34), Qt::AlignCenter, QStringLiteral("搜索"));
    return pixmap;
}

QImage aboutImage() {
    QImage image(160, 224, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QLinearGradient background(0, 0, 0, 224);
    background.setColorAt(0, QColor(0x1d, 0x4e, 0x92));
    background.setColorAt(1, QColor(0x5b, 0x9f, 0xe2));
    p.fillRect(image.rect(), background);

    p.setPen(Qt::white);
    p.setFont(drawingFont(26, true));
    p.drawText(QRectF(0, 16, 160, 36), Qt::AlignCenter, QStringLiteral("墨舟工坊"));
    p.setFont(drawingFont(15));
    p.drawText(QRectF(0, 54, 160, 22), Qt::AlignCenter, QStringLiteral("小说下载阅读助手"));
    p.setPen(QColor(0xd6, 0xe6, 0xfa));
    p.setFont(drawingFont(12));
    p.drawText(QRectF(0, 78, 160, 18), Qt::AlignCenter, QStringLiteral("1.0"));

    drawOpenBook(p, 80, 124, 62, 70, QColor(0x0f, 0x2f, 0x5e), QColor(0xfc, 0xf9, 0xf0),
                 QColor(0x9c, 0xae, 0xc8));
    return image;
}

}  // namespace novel
