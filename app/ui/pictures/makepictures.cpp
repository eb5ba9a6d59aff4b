// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the window layer's pictures and writes them as PNG files, each at
// its logical size and as an "@2x" variant for high-resolution screens, plus
// the resource list pictures.qrc. Run by hand after changing a drawing:
//   qorvex-pictures app/ui/pictures
// The PNGs and the .qrc are committed; the build only embeds them.
//
// To add a picture: write a paint function in logical pixels and add a row
// to kPictures (a plain picture) or kGlyphs (a button glyph: one cell, the
// generator puts the normal and the disabled image side by side).
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using Paint = std::function<void(QPainter&)>;

struct Picture {
  const char* path;  // below the output folder, without ".png"
  int width, height;
  Paint paint;
};

QPen RoundPen(const QColor& color, double width) {
  return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// ---- Button glyphs (one cell) ----

void GlyphYes(QPainter& p) {
  QPainterPath tick;
  tick.moveTo(3.5, 9.5);
  tick.lineTo(7.5, 13.5);
  tick.lineTo(14.5, 4.5);
  p.setPen(RoundPen(QColor(20, 130, 40), 2.8));
  p.drawPath(tick);
}

void GlyphNo(QPainter& p) {
  p.setPen(RoundPen(QColor(200, 30, 30), 2.2));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(9, 9), 6.4, 6.4);
  p.drawLine(QPointF(4.6, 4.6), QPointF(13.4, 13.4));
}

void GlyphCancel(QPainter& p) {
  p.setPen(RoundPen(QColor(200, 30, 30), 2.8));
  p.drawLine(QPointF(4.5, 4.5), QPointF(13.5, 13.5));
  p.drawLine(QPointF(13.5, 4.5), QPointF(4.5, 13.5));
}

void GlyphClose(QPainter& p) {
  // A door frame with the door swung open towards the viewer.
  p.setPen(RoundPen(QColor(90, 60, 30), 1.4));
  p.setBrush(QColor(250, 240, 210));
  p.drawRect(QRectF(5.5, 2.5, 9, 13));
  QPolygonF leaf({{5.5, 2.5}, {10.5, 4.5}, {10.5, 17.0}, {5.5, 15.5}});
  p.setBrush(QColor(170, 105, 45));
  p.drawPolygon(leaf);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(250, 220, 120));
  p.drawEllipse(QPointF(9.2, 10.2), 0.9, 0.9);
}

void GlyphWeiter(QPainter& p) {
  QPolygonF arrow({{2.5, 7}, {9.5, 7}, {9.5, 3.5}, {15.5, 9}, {9.5, 14.5}, {9.5, 11}, {2.5, 11}});
  p.setPen(RoundPen(QColor(20, 70, 160), 1.0));
  p.setBrush(QColor(50, 120, 210));
  p.drawPolygon(arrow);
}

void GlyphGStart(QPainter& p) {
  QLinearGradient face(0, 1, 0, 23);
  face.setColorAt(0, QColor(90, 190, 90));
  face.setColorAt(1, QColor(20, 120, 40));
  p.setPen(RoundPen(QColor(15, 95, 30), 1.0));
  p.setBrush(face);
  p.drawEllipse(QPointF(12, 12), 10.5, 10.5);
  p.setPen(RoundPen(Qt::white, 1.0));
  p.setBrush(Qt::white);
  p.drawPolygon(QPolygonF({{9.5, 7}, {17.5, 12}, {9.5, 17}}));
}

// Shared by every kind whose own glyph no form of the program uses.
void GlyphNeutral(QPainter& p) {
  p.setPen(RoundPen(QColor(110, 110, 110), 1.2));
  p.setBrush(QColor(200, 200, 200));
  p.drawPolygon(QPolygonF({{9, 3}, {15, 9}, {9, 15}, {3, 9}}));
}

// ---- Message dialog pictures ----

// A mark drawn from the bold sans-serif outline, centred in the box.
void DrawMark(QPainter& p, const QString& mark, const QRectF& box, int pixelSize,
              const QColor& color) {
  QFont font("Liberation Sans");
  font.setPixelSize(pixelSize);
  font.setBold(true);
  QPainterPath path;
  path.addText(0, 0, font, mark);
  const QRectF bounds = path.boundingRect();
  path.translate(box.center() - bounds.center());
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  p.drawPath(path);
}

void PictureFrage(QPainter& p) {
  QLinearGradient face(0, 2, 0, 62);
  face.setColorAt(0, QColor(95, 155, 235));
  face.setColorAt(1, QColor(25, 80, 180));
  p.setPen(RoundPen(QColor(20, 60, 140), 1.5));
  p.setBrush(face);
  p.drawRoundedRect(QRectF(2.75, 2.75, 58.5, 58.5), 12, 12);
  DrawMark(p, "?", QRectF(2, 2, 60, 60), 46, Qt::white);
}

void PictureHinweis(QPainter& p) {
  QLinearGradient face(0, 2, 0, 62);
  face.setColorAt(0, QColor(255, 185, 70));
  face.setColorAt(1, QColor(235, 120, 0));
  p.setPen(RoundPen(QColor(190, 95, 0), 1.5));
  p.setBrush(face);
  p.drawEllipse(QPointF(32, 32), 29.25, 29.25);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(32, 17.5), 5, 5);
  p.drawRoundedRect(QRectF(27, 26, 10, 25), 2, 2);
}

// A warning triangle with rounded corners and an exclamation mark.
void Triangle(QPainter& p, const QColor& top, const QColor& bottom, const QColor& edge,
              const QColor& mark) {
  const QPolygonF outline({{30, 4.5}, {56.5, 55.5}, {3.5, 55.5}});
  QLinearGradient face(0, 4, 0, 56);
  face.setColorAt(0, top);
  face.setColorAt(1, bottom);
  p.setPen(RoundPen(edge, 4.0));
  p.setBrush(face);
  p.drawPolygon(outline);
  p.setPen(Qt::NoPen);
  p.setBrush(mark);
  p.drawPolygon(QPolygonF({{26.5, 20}, {33.5, 20}, {31.6, 41}, {28.4, 41}}));
  p.drawEllipse(QPointF(30, 47.5), 3.6, 3.6);
}

void PictureFehler(QPainter& p) {
  Triangle(p, QColor(235, 70, 55), QColor(185, 20, 20), QColor(160, 15, 15), Qt::white);
}

void PictureAchtung(QPainter& p) {
  Triangle(p, QColor(255, 200, 60), QColor(245, 145, 0), QColor(215, 120, 0), Qt::black);
}

// ---- The main window's pictures ----

// A closed folder: the tab at the top left, the body below it.
void Folder(QPainter& p, const QColor& light, const QColor& dark, const QColor& edge) {
  QLinearGradient face(0, 3, 0, 14);
  face.setColorAt(0, light);
  face.setColorAt(1, dark);
  p.setPen(RoundPen(edge, 1.0));
  p.setBrush(dark);
  p.drawPath([] {
    QPainterPath tab;
    tab.moveTo(1.5, 4.5);
    tab.lineTo(1.5, 2.5);
    tab.lineTo(6.0, 2.5);
    tab.lineTo(7.5, 4.0);
    tab.closeSubpath();
    return tab;
  }());
  p.setBrush(face);
  p.drawRect(QRectF(1.5, 4.0, 13, 9.5));
  p.setPen(RoundPen(light.lighter(115), 1.0));
  p.drawLine(QPointF(2.5, 5.5), QPointF(13.5, 5.5));
}

// A small magnifier over the folder's lower right part.
void FolderLens(QPainter& p) {
  p.setPen(RoundPen(QColor(60, 60, 60), 2.2));
  p.drawLine(QPointF(12.2, 12.2), QPointF(14.8, 14.8));
  p.setPen(RoundPen(QColor(45, 45, 45), 1.3));
  p.setBrush(QColor(200, 230, 255));
  p.drawEllipse(QPointF(9.8, 9.8), 3.4, 3.4);
}

void ImageFolder(QPainter& p) {
  Folder(p, QColor(255, 226, 120), QColor(235, 180, 40), QColor(160, 115, 10));
}

void ImageOpenFolder(QPainter& p) {
  p.setPen(RoundPen(QColor(30, 100, 30), 1.0));
  p.setBrush(QColor(70, 150, 60));
  p.drawPolygon(
      QPolygonF({{1.5, 13.5}, {1.5, 2.5}, {6.0, 2.5}, {7.5, 4.0}, {12.5, 4.0}, {12.5, 6.5}}));
  QLinearGradient flap(0, 6, 0, 14);
  flap.setColorAt(0, QColor(150, 220, 120));
  flap.setColorAt(1, QColor(80, 170, 70));
  p.setBrush(flap);
  p.drawPolygon(QPolygonF({{1.5, 13.5}, {4.5, 6.5}, {15.0, 6.5}, {12.0, 13.5}}));
}

void ImagePage(QPainter& p) {
  p.setPen(RoundPen(QColor(110, 110, 120), 1.0));
  p.setBrush(Qt::white);
  p.drawPolygon(QPolygonF({{3.5, 1.5}, {10.0, 1.5}, {13.5, 5.0}, {13.5, 14.5}, {3.5, 14.5}}));
  p.setBrush(QColor(215, 215, 222));
  p.drawPolygon(QPolygonF({{10.0, 1.5}, {10.0, 5.0}, {13.5, 5.0}}));
  p.setPen(RoundPen(QColor(120, 150, 200), 1.0));
  for (double y : {7.5, 9.5, 11.5}) p.drawLine(QPointF(5.5, y), QPointF(11.5, y));
  p.drawLine(QPointF(5.5, 5.5), QPointF(8.5, 5.5));
}

void ImageSearch(QPainter& p) {
  ImageFolder(p);
  FolderLens(p);
}

void ImageSearchHits(QPainter& p) {
  Folder(p, QColor(250, 120, 100), QColor(205, 35, 30), QColor(140, 15, 10));
  FolderLens(p);
}

// The search field's magnifier.
void PictureMagnifier(QPainter& p) {
  p.setPen(RoundPen(QColor(95, 60, 25), 3.6));
  p.drawLine(QPointF(13.2, 14.2), QPointF(17.6, 21.0));
  QRadialGradient glass(QPointF(7, 7), 7);
  glass.setColorAt(0, QColor(245, 252, 255));
  glass.setColorAt(1, QColor(170, 210, 245));
  p.setPen(RoundPen(QColor(70, 70, 80), 2.0));
  p.setBrush(glass);
  p.drawEllipse(QPointF(8.5, 9.0), 6.5, 6.5);
}

// The program icon: an open book with an antenna that sends waves, on a
// blue rounded square. qorvex.svg draws the same shapes with the same
// coordinates; change both together.
void PictureIcon(QPainter& p) {
  QLinearGradient face(0, 2, 0, 46);
  face.setColorAt(0, QColor(0x2F, 0x7F, 0xD8));
  face.setColorAt(1, QColor(0x16, 0x4A, 0x94));
  p.setPen(RoundPen(QColor(0x0F, 0x3A, 0x78), 1.0));
  p.setBrush(face);
  p.drawRoundedRect(QRectF(2.5, 2.5, 43, 43), 9, 9);

  p.setPen(RoundPen(QColor(0xC9, 0xA2, 0x4A), 1.0));
  p.setBrush(QColor(0xFF, 0xF6, 0xD8));
  p.drawPolygon(QPolygonF({{7, 29}, {23.5, 32}, {23.5, 42}, {7, 39}}));
  p.drawPolygon(QPolygonF({{24.5, 32}, {41, 29}, {41, 39}, {24.5, 42}}));
  p.setPen(RoundPen(QColor(0xB0, 0xA8, 0x90), 1.0));
  p.drawLine(QPointF(10, 33), QPointF(20.5, 35));
  p.drawLine(QPointF(10, 36), QPointF(20.5, 38));
  p.drawLine(QPointF(27.5, 35), QPointF(38, 33));
  p.drawLine(QPointF(27.5, 38), QPointF(38, 36));

  p.setPen(RoundPen(QColor(0xFF, 0xD2, 0x3F), 2.2));
  p.drawLine(QPointF(24, 31), QPointF(24, 13));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xFF, 0x5A, 0x3C));
  p.drawEllipse(QPointF(24, 11), 2.4, 2.4);

  p.setPen(RoundPen(Qt::white, 2.0));
  p.setBrush(Qt::NoBrush);
  for (double r : {6.0, 10.0}) {
    const QRectF box(24 - r, 11 - r, 2 * r, 2 * r);
    p.drawArc(box, -40 * 16, 80 * 16);  // right of the mast
    p.drawArc(box, 140 * 16, 80 * 16);  // left of the mast
  }
}

const std::vector<Picture> kGlyphs = {
    {"glyphs/VXBBYES", 18, 18, GlyphYes},         {"glyphs/VXBBNO", 18, 18, GlyphNo},
    {"glyphs/VXBBCANCEL", 18, 18, GlyphCancel},   {"glyphs/VXBBCLOSE", 18, 18, GlyphClose},
    {"glyphs/VXBBWEITER", 18, 18, GlyphWeiter},   {"glyphs/VXBBGSTART", 24, 24, GlyphGStart},
    {"glyphs/VXBBNEUTRAL", 18, 18, GlyphNeutral},
};

const std::vector<Picture> kPictures = {
    {"dialogs/frage", 64, 64, PictureFrage},
    {"dialogs/hinweis", 64, 64, PictureHinweis},
    {"dialogs/fehler", 60, 61, PictureFehler},
    {"dialogs/achtung", 60, 61, PictureAchtung},
    // The tree's state images, by their index in the image list (0 and 5
    // are the same closed folder).
    {"tree/image0", 16, 16, ImageFolder},
    {"tree/image1", 16, 16, ImageOpenFolder},
    {"tree/image2", 16, 16, ImagePage},
    {"tree/image3", 16, 16, ImageSearch},
    {"tree/image4", 16, 16, ImageSearchHits},
    {"tree/image5", 16, 16, ImageFolder},
    {"viewer/magnifier", 20, 24, PictureMagnifier},
    {"qorvex", 48, 48, PictureIcon},
};

QImage Render(const Picture& picture, int scale) {
  QImage image(picture.width * scale, picture.height * scale, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(scale, scale);
  picture.paint(p);
  return image;
}

// The disabled look of a glyph: the same shape in light greys.
QImage Greyed(const QImage& normal) {
  QImage grey = normal;
  for (int y = 0; y < grey.height(); ++y)
    for (int x = 0; x < grey.width(); ++x) {
      const QColor c = grey.pixelColor(x, y);
      const int level = 120 + qGray(c.rgb()) * 45 / 100;
      grey.setPixelColor(x, y, QColor(level, level, level, c.alpha()));
    }
  return grey;
}

// Normal image on the left, disabled image on the right.
QImage GlyphStrip(const Picture& glyph, int scale) {
  const QImage normal = Render(glyph, scale);
  QImage strip(normal.width() * 2, normal.height(), QImage::Format_ARGB32);
  strip.fill(Qt::transparent);
  QPainter p(&strip);
  p.drawImage(0, 0, normal);
  p.drawImage(normal.width(), 0, Greyed(normal));
  return strip;
}

bool Save(const QImage& image, const QString& file, QStringList& written) {
  if (!image.save(file, "PNG")) {
    std::fprintf(stderr, "qorvex-pictures: cannot write %s\n", qPrintable(file));
    return false;
  }
  written << file;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: qorvex-pictures FOLDER\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  out.mkpath("glyphs");
  out.mkpath("dialogs");
  out.mkpath("tree");
  out.mkpath("viewer");
  QStringList written;
  QStringList entries;
  for (int scale : {1, 2}) {
    const QString suffix = scale == 1 ? ".png" : "@2x.png";
    for (const Picture& g : kGlyphs) {
      if (!Save(GlyphStrip(g, scale), out.filePath(g.path + suffix), written)) return 1;
      entries << QString(g.path) + suffix;
    }
    for (const Picture& pic : kPictures) {
      if (!Save(Render(pic, scale), out.filePath(pic.path + suffix), written)) return 1;
      entries << QString(pic.path) + suffix;
    }
  }
  entries.sort();
  QFile qrc(out.filePath("pictures.qrc"));
  if (!qrc.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    std::fprintf(stderr, "qorvex-pictures: cannot write pictures.qrc\n");
    return 1;
  }
  QTextStream s(&qrc);
  s << "<!-- Written by qorvex-pictures (makepictures.cpp); do not edit by hand. -->\n"
    << "<RCC>\n  <qresource prefix=\"/\">\n";
  for (const QString& e : entries) s << "    <file>" << e << "</file>\n";
  s << "  </qresource>\n</RCC>\n";
  std::printf("qorvex-pictures: %lld files written\n", static_cast<long long>(written.size()));
  return 0;
}
