#include "Glyphs.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>

#include "Controls.h"

namespace {

template <typename Draw>
QIcon Painted(int w, int h, Draw draw) {
  QPixmap pm(w, h);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  draw(p);
  p.end();
  return QIcon(pm);
}

}  // namespace

QIcon OpenGlyph() { return QApplication::style()->standardIcon(QStyle::SP_DialogOpenButton); }

QIcon SaveGlyph() { return QApplication::style()->standardIcon(QStyle::SP_DialogSaveButton); }

QIcon AddGlyph() {
  return Painted(16, 16, [](QPainter& p) {
    p.setPen(QPen(LookColor(look::kAddGlyphInk), 3));
    p.drawLine(8, 2, 8, 14);
    p.drawLine(2, 8, 14, 8);
  });
}

QIcon DeleteGlyph() {
  return Painted(16, 16, [](QPainter& p) {
    p.setPen(QPen(LookColor(look::kDeleteGlyphInk), 3));
    p.drawLine(3, 3, 13, 13);
    p.drawLine(13, 3, 3, 13);
  });
}

QIcon ModeGlyph() {
  return Painted(20, 26, [](QPainter& p) {
    p.setPen(QPen(LookColor(look::kModeGlyphRing), 1.5));
    p.drawEllipse(QRectF(2.5, 3.5, 15, 19));
    p.setPen(QPen(LookColor(look::kModeGlyphCross), 2));
    p.drawLine(10, 1, 10, 25);
    p.drawLine(0, 13, 20, 13);
    p.drawEllipse(QRectF(6, 9, 8, 8));
  });
}

QIcon ReportGlyph() {
  return Painted(20, 20, [](QPainter& p) {
    p.setPen(QPen(LookColor(look::kReportGlyphInk), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(3.5, 1.5, 13, 17));
    for (int y = 5; y <= 15; y += 3) p.drawLine(6, y, 14, y);
  });
}
