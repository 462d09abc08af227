#include "Controls.h"

#include <QFontMetrics>
#include <QLocale>
#include <QPainter>
#include <limits>

#include "reg/RegFormDesign.h"

TSpinEdit::TSpinEdit(QWidget* parent) : QSpinBox(parent) {
  setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
  setSingleStep(1);
  setValue(0);
  setAccelerated(true);
  setLocale(QLocale::c());
}

QValidator::State TSpinEdit::validate(QString& text, int& pos) const {
  QString t = text.trimmed();
  if (t.isEmpty() || t == "-" || t == "+") return QValidator::Acceptable;
  return QSpinBox::validate(text, pos);
}

int TSpinEdit::valueFromText(const QString& text) const { return SpinEditValue(text.toLatin1().constData()); }

TFastLabel::TFastLabel(const QString& text, const QString& widest, QWidget* parent)
    : QWidget(parent), text_(text), widest_(widest) {
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  // The label paints its whole rectangle itself: nothing behind it is repainted.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TFastLabel::setText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  ++changes_;
  update();
}

void TFastLabel::setColor(const QColor& colour) {
  if (colour == colour_) return;
  colour_ = colour;
  ++changes_;
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
