#include "Controls.h"

#include <QFontMetrics>
#include <QLocale>
#include <QPainter>
#include <limits>

QFont LookFont(const look::TFontSpec& spec) {
  QFont f;
  if (spec.fixedPitch) {
    f.setFamilies({spec.family, "Liberation Mono", "Courier New", "DejaVu Sans Mono"});
    f.setStyleHint(QFont::Monospace);
    f.setFixedPitch(true);
  } else {
    f.setFamilies({spec.family, "Arial", "Liberation Sans", "Helvetica"});
  }
  f.setPixelSize(spec.pixels);
  f.setBold(spec.bold);
  return f;
}

QColor LookColor(look::TRGB rgb) { return QColor(rgb.r, rgb.g, rgb.b); }

TSpinEdit::TSpinEdit(QWidget* parent) : QSpinBox(parent) {
  setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
  setSingleStep(1);
  setValue(0);
  setAccelerated(true);
  setLocale(QLocale::c());
}

QValidator::State TSpinEdit::validate(QString& text, int&) const {
  return IsSpinEditText(text.toLatin1().toStdString()) ? QValidator::Acceptable : QValidator::Invalid;
}

int TSpinEdit::valueFromText(const QString& text) const { return SpinEditValue(text.toLatin1().toStdString()); }

TFastLabel::TFastLabel(const QString& text, const QString& widest, QWidget* parent)
    : QWidget(parent), text_(text), widest_(widest) {
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  // The label paints its whole rectangle itself: nothing behind it is repainted.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TFastLabel::setText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  update();
}

void TFastLabel::setColor(const QColor& colour) {
  if (colour == colour_) return;
  colour_ = colour;
  update();
}

QSize TFastLabel::sizeHint() const {
  QFontMetrics fm(font());
  return {fm.horizontalAdvance(widest_) + 4, fm.height() + 2};
}

void TFastLabel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().color(backgroundRole()));
  p.setPen(colour_);
  p.setFont(font());
  QFontMetrics fm(font());
  p.drawText(QPoint(1, (height() + fm.ascent() - fm.descent()) / 2), text_);
}
