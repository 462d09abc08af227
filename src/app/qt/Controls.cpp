#include "Controls.h"

#include <QFontMetrics>
#include <QLocale>
#include <QGlyphRun>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <cmath>
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

QValidator::State TSpinEdit::validate(QString& text, int&) const {
  return IsSpinEditText(text.toLatin1().toStdString()) ? QValidator::Acceptable : QValidator::Invalid;
}

int TSpinEdit::valueFromText(const QString& text) const { return SpinEditValue(text.toLatin1().toStdString()); }

TFastLabel::TFastLabel(const QString& text, const QString& widest, QWidget* parent)
    : QWidget(parent), text_(text), widest_(widest) {
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  // The label paints its whole rectangle itself: nothing behind it is repainted.
  setAttribute(Qt::WA_OpaquePaintEvent);
  glyphs_.SetFont(font());
}

void TFastLabel::changeEvent(QEvent* e) {
  if (e->type() == QEvent::FontChange) glyphs_.SetFont(font());
  QWidget::changeEvent(e);
}

void TFastLabel::UpdateText(int oldWidth) {
  const int now = glyphs_.Width(text_);
  if (now < 0 || oldWidth < 0) {
    update();
    return;
  }
  update(0, 0, std::min(width(), std::max(now, oldWidth) + 4), height());
}

void TFastLabel::setText(const QString& text) {
  if (text == text_) return;
  const int old = glyphs_.Width(text_);
  text_ = text;
  UpdateText(old);
}

void TFastLabel::setColor(const QColor& colour) {
  if (colour == colour_) return;
  colour_ = colour;
  UpdateText(glyphs_.Width(text_));
}

QSize TFastLabel::sizeHint() const {
  QFontMetrics fm(font());
  return {fm.horizontalAdvance(widest_) + 4, fm.height() + 2};
}

void TFastLabel::paintEvent(QPaintEvent* e) {
  QPainter p(this);
  p.fillRect(e->rect(), palette().color(backgroundRole()));
  p.setPen(colour_);
  QFontMetrics fm(font());
  const QPoint baseline(1, (height() + fm.ascent() - fm.descent()) / 2);
  if (!glyphs_.Draw(p, baseline, text_)) {
    p.setFont(font());
    p.drawText(baseline, text_);
  }
}

// ---------------------------------------------------------------------------

void TGlyphPainter::SetFont(const QFont& font) {
  font_ = font;
  raw_ = QRawFont::fromFont(font);
  for (TGlyph& g : ascii_) g = TGlyph{};
}

const TGlyphPainter::TGlyph* TGlyphPainter::Glyph(QChar c) {
  if (c.unicode() >= 128 || !raw_.isValid()) return nullptr;
  TGlyph& g = ascii_[c.unicode()];
  if (g.advance < 0) {
    const QVector<quint32> index = raw_.glyphIndexesForString(QString(c));
    if (index.size() != 1 || (index[0] == 0 && c != QChar(0))) {
      g.advance = -2;  // not in this face
    } else {
      g.index = index[0];
      g.advance = raw_.advancesForGlyphIndexes(index).value(0).x();
    }
  }
  return g.advance < 0 ? nullptr : &g;
}

int TGlyphPainter::Width(const QString& text) {
  qreal x = 0;
  for (QChar c : text) {
    const TGlyph* g = Glyph(c);
    if (!g) return -1;
    x += g->advance;
  }
  return static_cast<int>(std::ceil(x));
}

bool TGlyphPainter::Draw(QPainter& p, QPointF baseline, const QString& text) {
  indexes_.clear();
  positions_.clear();
  qreal x = 0;
  for (QChar c : text) {
    const TGlyph* g = Glyph(c);
    if (!g) return false;
    if (c != QChar(' ')) {
      indexes_.push_back(g->index);
      positions_.push_back(QPointF(x, 0));
    }
    x += g->advance;
  }
  if (indexes_.isEmpty()) return true;
  QGlyphRun run;
  run.setRawFont(raw_);
  run.setGlyphIndexes(indexes_);
  run.setPositions(positions_);
  p.drawGlyphRun(baseline, run);
  return true;
}

// ---------------------------------------------------------------------------

// Shows a value set while the edit has no focus: the edit's background and the
// value's text where the edit's own text stands.
class TSpinEdit::TDisplay : public QWidget {
 public:
  // A sibling of the edit laid over it: an opaque sibling spares the repaint of
  // the bar behind (a child of the spin box would not).
  explicit TDisplay(TSpinEdit* edit) : QWidget(edit->parentWidget()), edit_(edit) {
    setObjectName("qt_spinbox_display");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    glyphs_.SetFont(edit->font());
  }
  void SetText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    update();
  }
  void FontChanged() { glyphs_.SetFont(edit_->font()); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const QPalette& pal = edit_->lineEdit()->palette();
    p.fillRect(rect(), pal.color(QPalette::Base));
    p.setPen(pal.color(QPalette::Text));
    QFontMetrics fm(edit_->font());
    // Where the line edit puts its text: its margins, centred in its height.
    const QMargins m = edit_->lineEdit()->textMargins();
    const QPoint baseline(2 + m.left(), (height() - fm.height() + 1) / 2 + fm.ascent());
    if (!glyphs_.Draw(p, baseline, text_)) {
      p.setFont(edit_->font());
      p.drawText(baseline, text_);
    }
  }

 private:
  TSpinEdit* edit_;
  TGlyphPainter glyphs_;
  QString text_;
};

TSpinEdit::TSpinEdit(QWidget* parent) : QSpinBox(parent) {
  setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
  setSingleStep(1);
  QSpinBox::setValue(0);
  setAccelerated(true);
  setLocale(QLocale::c());
  // A change the spin box makes itself (typed, stepped, set) ends the light display.
  connect(this, &QSpinBox::valueChanged, this, [this] {
    if (!showing_ && pending_) {
      pending_ = false;
      if (display_) display_->stackUnder(this);
    }
  });
}

void TSpinEdit::setValue(int v) {
  if (pending_ && display_) display_->stackUnder(this);
  pending_ = false;
  QSpinBox::setValue(v);
}

void TSpinEdit::ShowValue(int v) {
  if (!display_ && parentWidget() && isVisible()) {
    // Made once and never hidden while the edit shows: it goes under the edit when
    // it is not needed (showing and hiding a widget would ask the bar's layout
    // for a new layout every time).
    display_ = new TDisplay(this);
    PlaceDisplay();
    display_->stackUnder(this);
    display_->show();
  }
  if (editing_ || !isVisible() || !display_) {
    if (pending_) Commit();
    if (QSpinBox::value() != v || text().isEmpty()) QSpinBox::setValue(v);
    return;
  }
  if (value() == v && !text().isEmpty()) return;
  shown_ = v;
  display_->SetText(textFromValue(v));
  if (!pending_) {
    pending_ = true;
    display_->raise();
  }
  showing_ = true;
  emit valueChanged(v);
  showing_ = false;
}

void TSpinEdit::Commit() {
  if (!pending_) return;
  pending_ = false;
  {
    // The value was announced when it was shown.
    QSignalBlocker quiet(this);
    QSpinBox::setValue(shown_);
  }
  if (display_) display_->stackUnder(this);
}

void TSpinEdit::PlaceDisplay() {
  if (display_) display_->setGeometry(QRect(lineEdit()->mapTo(parentWidget(), QPoint(0, 0)), lineEdit()->size()));
}

bool TSpinEdit::event(QEvent* e) {
  // The operator comes to the edit: it holds the value shown from now on.
  switch (e->type()) {
    case QEvent::FocusIn: Commit(); break;
    case QEvent::KeyPress:
    case QEvent::Wheel:
    case QEvent::MouseButtonPress:
    case QEvent::InputMethod:
      Commit();
      editing_ = true;
      break;
    case QEvent::FocusOut: editing_ = false; break;
    default: break;
  }
  return QSpinBox::event(e);
}

void TSpinEdit::clear() {
  Commit();
  QSpinBox::clear();
}

void TSpinEdit::stepBy(int steps) {
  Commit();
  QSpinBox::stepBy(steps);
}

void TSpinEdit::resizeEvent(QResizeEvent* e) {
  QSpinBox::resizeEvent(e);
  PlaceDisplay();
}

void TSpinEdit::moveEvent(QMoveEvent* e) {
  QSpinBox::moveEvent(e);
  PlaceDisplay();
}

void TSpinEdit::hideEvent(QHideEvent* e) {
  Commit();
  if (display_) display_->hide();
  QSpinBox::hideEvent(e);
}

void TSpinEdit::showEvent(QShowEvent* e) {
  QSpinBox::showEvent(e);
  if (display_) display_->show();
}

void TSpinEdit::changeEvent(QEvent* e) {
  if (e->type() == QEvent::FontChange && display_) display_->FontChanged();
  QSpinBox::changeEvent(e);
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
