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
#include <QCoreApplication>
#include <algorithm>
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
  const QRect dirty = now < 0 || oldWidth < 0 ? rect() : QRect(0, 0, std::min(width(), std::max(now, oldWidth) + 4), height());
  if (pacer_)
    pacer_->Request(this, dirty);
  else
    update(dirty);
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

void TFramePacer::Request(QWidget* w, const QRegion& dirty) {
  if (!timer_.isActive()) {
    w->update(dirty);
    return;
  }
  for (auto& [widget, region] : pending_) {
    if (widget == w) {
      region += dirty;
      return;
    }
  }
  pending_.emplace_back(w, dirty);
}

void TFramePacer::Tick() {
  // A lone control repaints at once; several ask for updates, and their window's
  // update request is sent at once, so that they share one repaint and one flush.
  std::vector<QWidget*> windows;
  for (auto& [widget, region] : pending_) {
    if (!widget || !widget->isVisible()) continue;
    if (pending_.size() == 1) {
      widget->repaint(region);
      break;
    }
    widget->update(region);
    if (std::find(windows.begin(), windows.end(), widget->window()) == windows.end())
      windows.push_back(widget->window());
  }
  pending_.clear();
  for (QWidget* w : windows) QCoreApplication::sendPostedEvents(w, QEvent::UpdateRequest);
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
  void SetText(const QString& text, TFramePacer* pacer) {
    if (text == text_) return;
    text_ = text;
    if (pacer)
      pacer->Request(this, rect());
    else
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
  lineEdit()->installEventFilter(this);
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
  display_->SetText(textFromValue(v), pacer_);
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

bool TSpinEdit::eventFilter(QObject* watched, QEvent* e) {
  if (watched == lineEdit() && (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick)) {
    Commit();
    editing_ = true;
  }
  return QSpinBox::eventFilter(watched, e);
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
  const bool sameText = f.text == text;
  f.text = text;
  f.red = red;
  // A field too long for its room shows its start and its end; the tip shows all.
  QStringList shown;
  for (const TField& g : fields_)
    if (!g.text.isEmpty()) shown << g.text;
  setToolTip(shown.join('\n'));
  const std::vector<int> before = widths_;
  if (!sameText) {
    f.need = text.isEmpty() ? 0 : QFontMetrics(font()).horizontalAdvance(text) + 1;
    f.shownFor = -1;
    Layout();
  }
  if (widths_ == before && !text.isEmpty())
    update(FieldRect(field));
  else
    update();
}

QSize TStatusLine::sizeHint() const { return {0, look::kStatusHeight}; }
QSize TStatusLine::minimumSizeHint() const { return {0, look::kStatusHeight}; }

void TStatusLine::changeEvent(QEvent* e) {
  if (e->type() == QEvent::FontChange) {
    QFontMetrics fm(font());
    for (TField& f : fields_) {
      f.need = f.text.isEmpty() ? 0 : fm.horizontalAdvance(f.text) + 1;
      f.shownFor = -1;
    }
    Layout();
  }
  QWidget::changeEvent(e);
}

void TStatusLine::resizeEvent(QResizeEvent* e) {
  Layout();
  QWidget::resizeEvent(e);
}

void TStatusLine::Layout() {
  // Water-filling: the fields that need less than an equal share get what they
  // need, and the rest is shared again among the others.
  std::vector<int>& width = widths_;
  std::fill(width.begin(), width.end(), 0);
  std::vector<int> open;
  for (int i = 0; i < kStatusFieldCount; ++i)
    if (!fields_[i].text.isEmpty()) open.push_back(i);
  if (open.empty()) return;
  const int pad = look::kBarPadding;
  int left = std::max(0, this->width() - 2 * pad - look::kStatusFieldGap * static_cast<int>(open.size() - 1));
  for (bool settled = true; !open.empty(); settled = true) {
    const int share = left / static_cast<int>(open.size());
    std::vector<int> rest;
    for (int i : open) {
      if (fields_[i].need <= share) {
        width[static_cast<size_t>(i)] = fields_[i].need;
        left -= fields_[i].need;
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
}

QRect TStatusLine::FieldRect(TStatusField field) const {
  int x = look::kBarPadding;
  for (int i = 0; i < kStatusFieldCount; ++i) {
    if (fields_[i].text.isEmpty()) continue;
    if (i == static_cast<int>(field)) return {x, 0, widths_[static_cast<size_t>(i)], height()};
    x += widths_[static_cast<size_t>(i)] + look::kStatusFieldGap;
  }
  return {};
}

void TStatusLine::paintEvent(QPaintEvent* e) {
  QPainter p(this);
  p.fillRect(e->rect(), palette().color(backgroundRole()));
  p.setFont(font());
  QFontMetrics fm(font());
  int x = look::kBarPadding;
  const int top = (height() + fm.ascent() - fm.descent()) / 2 - fm.ascent();
  for (TField& f : fields_) {
    if (f.text.isEmpty()) continue;
    const int w = widths_[static_cast<size_t>(&f - fields_)];
    if (e->rect().intersects(QRect(x, 0, w, height()))) {
      if (f.shownFor != w) {
        f.shown.setText(fm.elidedText(f.text, Qt::ElideMiddle, w));
        f.shown.setTextFormat(Qt::PlainText);
        f.shown.prepare(QTransform(), font());
        f.shownFor = w;
      }
      p.setPen(LookColor(f.red ? look::kStatusAlertInk : look::kStatusInk));
      p.drawStaticText(QPoint(x, top), f.shown);
    }
    x += w + look::kStatusFieldGap;
  }
}
