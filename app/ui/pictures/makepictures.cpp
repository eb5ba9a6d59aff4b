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
