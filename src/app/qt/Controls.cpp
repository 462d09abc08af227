#include "Controls.h"

#include <QFontMetrics>
#include <QLocale>
#include <QPainter>
#include <QStringList>
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

TStatusLine::TStatusLine(QWidget* parent) : QWidget(parent) {
  setObjectName("StatusLine");
  setFont(LookFont(look::kStatusFont));
  setFixedHeight(look::kStatusHeight);
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TStatusLine::SetField(TStatusField field, const QString& text, bool red) {
  TField& f = fields_[static_cast<int>(field)];
  if (f.text == text && f.red == red) return;
  f.text = text;
  f.red = red;
  // A field too long for its room shows its start and its end; the tip shows all.
  QStringList shown;
  for (const TField& g : fields_)
    if (!g.text.isEmpty()) shown << g.text;
  setToolTip(shown.join('\n'));
  update();
}

QSize TStatusLine::sizeHint() const { return {0, look::kStatusHeight}; }
QSize TStatusLine::minimumSizeHint() const { return {0, look::kStatusHeight}; }

std::vector<int> TStatusLine::FieldWidths() const {
  // Water-filling: the fields that need less than an equal share get what they
  // need, and the rest is shared again among the others.
  QFontMetrics fm(font());
  std::vector<int> need(kStatusFieldCount, 0), width(kStatusFieldCount, 0);
  std::vector<int> open;
  for (int i = 0; i < kStatusFieldCount; ++i) {
    if (fields_[i].text.isEmpty()) continue;
    need[static_cast<size_t>(i)] = fm.horizontalAdvance(fields_[i].text) + 1;
    open.push_back(i);
  }
  if (open.empty()) return width;
  const int pad = look::kBarPadding;
  int left = std::max(0, this->width() - 2 * pad - look::kStatusFieldGap * static_cast<int>(open.size() - 1));
  for (bool settled = true; !open.empty(); settled = true) {
    const int share = left / static_cast<int>(open.size());
    std::vector<int> rest;
    for (int i : open) {
      if (need[static_cast<size_t>(i)] <= share) {
        width[static_cast<size_t>(i)] = need[static_cast<size_t>(i)];
        left -= need[static_cast<size_t>(i)];
        settled = false;
      } else {
        rest.push_back(i);
      }
    }
    open = rest;
    if (settled) {
      for (int i : open) width[static_cast<size_t>(i)] = share;
      break;
    }
  }
  return width;
}

QRect TStatusLine::FieldRect(TStatusField field) const {
  const std::vector<int> widths = FieldWidths();
  int x = look::kBarPadding;
  for (int i = 0; i < kStatusFieldCount; ++i) {
    if (fields_[i].text.isEmpty()) continue;
    if (i == static_cast<int>(field)) return {x, 0, widths[static_cast<size_t>(i)], height()};
    x += widths[static_cast<size_t>(i)] + look::kStatusFieldGap;
  }
  return {};
}

void TStatusLine::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().color(backgroundRole()));
  p.setFont(font());
  QFontMetrics fm(font());
  const std::vector<int> widths = FieldWidths();
  int x = look::kBarPadding;
  const int baseline = (height() + fm.ascent() - fm.descent()) / 2;
  for (int i = 0; i < kStatusFieldCount; ++i) {
    if (fields_[i].text.isEmpty()) continue;
    const int w = widths[static_cast<size_t>(i)];
    p.setPen(LookColor(fields_[i].red ? look::kStatusAlertInk : look::kStatusInk));
    p.drawText(QPoint(x, baseline), fm.elidedText(fields_[i].text, Qt::ElideMiddle, w));
    x += w + look::kStatusFieldGap;
  }
}
