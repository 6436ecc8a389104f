// Each font choice of the reader, drawn with the family list its page gets, looks different from
// every other choice on this machine: the mapped faces are installed and actually picked.

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QPainter>

#include "gui_test.h"
#include "reader/font_faces.h"
#include "reader/reader_style.h"
#include "web/gbk.h"

namespace novel {
namespace {

QStringList familiesOf(const std::vector<Text>& list) {
    QStringList families;
    for (const Text& name : list) families << QString::fromStdString(toUtf8(name));
    return families;
}

// Simplified-only characters (这, 们, 说) and characters every Chinese face has.
const QString kSample = QStringLiteral("第一章 天地玄黄，宇宙洪荒。这是我们的小说");

QImage render(const QStringList& families) {
    QFont font;
    font.setFamilies(families);
    font.setPixelSize(28);
    QImage image(700, 44, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(image.rect(), Qt::AlignLeft | Qt::AlignVCenter, kSample);
    return image;
}

}  // namespace

class FontFacesTest : public QObject {
    Q_OBJECT

  private slots:
    // A missing font package shows here by name rather than as two pages that look alike.
    void mappedFacesAreInstalled() {
        for (int index = 0; index < 6; ++index) {
            const QStringList families = familiesOf(fontFamilyList(fontFamilyValue(index)));
            QVERIFY(families.size() >= 3);
            for (qsizetype i = 1; i + 1 < families.size(); ++i)
                QVERIFY2(QFontDatabase::hasFamily(families[i]), qPrintable(families[i]));
            // The first face after the chosen name is the one drawn.
            QFont font;
            font.setFamilies(families);
            QCOMPARE(QFontInfo(font).family(), families[1]);
        }
    }

    void everyChoiceDrawsDifferently() {
        QList<QImage> images;
        QStringList names;
        for (int index = 0; index < 6; ++index) {
            const Text choice = fontFamilyValue(index);
            names << QString::fromStdString(toUtf8(choice));
            images << render(familiesOf(fontFamilyList(choice)));
        }
        for (qsizetype a = 0; a < images.size(); ++a) {
            for (qsizetype b = a + 1; b < images.size(); ++b) {
                QVERIFY2(images[a] != images[b],
                         qPrintable(names[a] + QStringLiteral(" = ") + names[b]));
            }
        }
    }
};

}  // namespace novel

NOVEL_GUI_TEST_MAIN(novel::FontFacesTest)
#include "font_faces_test.moc"
