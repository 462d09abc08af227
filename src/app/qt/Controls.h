#pragma once
// Two small controls of the main window: the spin edit for the whole signed 32-bit
// range, and a label that repaints itself when its text changes but never asks
// the window to lay itself out again (the tracker label changes 40 times a second);
// and the look's fonts and colours in Qt's terms.
#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPointer>
#include <QRawFont>
#include <QRegion>
#include <QStaticText>
#include <QTimer>
#include <QVector>
#include <QSpinBox>
#include <QString>
#include <QWidget>
#include <utility>
#include <vector>

#include "reg/RegFormLook.h"

// The look's font, with metric-compatible stand-ins where it is not installed
// (Liberation Sans has Arial's widths and MS Sans Serif is close to them; Liberation
// Mono has Courier New's).
QFont LookFont(const look::TFontSpec& spec);
QColor LookColor(look::TRGB rgb);

// Draws short one-line texts in one font without shaping them anew each time: the
// glyph and advance of every character met are kept (a label that changes 40 times
// a second spends most of its paint in shaping otherwise). No kerning, which these
// texts of digits and a few letters do not need.
class TGlyphPainter {
 public:
  void SetFont(const QFont& font);
  // False (nothing drawn) when a character has no glyph in the font's own face.
  bool Draw(QPainter& p, QPointF baseline, const QString& text);
  int Width(const QString& text);  // -1 when a character has no glyph

 private:
  struct TGlyph {
    quint32 index = 0;
    qreal advance = -1;  // < 0: not looked up yet
  };
  const TGlyph* Glyph(QChar c);
  QFont font_;
  QRawFont raw_;
  TGlyph ascii_[128];
  QVector<quint32> indexes_;
  QVector<QPointF> positions_;
};

// The live numbers (the tracker label, the voxel's edits, the distance) change at
// every tick. Their repaints are gathered while the tick runs and painted when it
// ends, all in one repaint and one flush: an update() per control would be painted
// at the next turn of the event loop, which a posted event wakes once more. While
// the timer does not run, a repaint is asked at once.
class TFramePacer {
 public:
  explicit TFramePacer(const QTimer& timer) : timer_(timer) {}
  void Request(QWidget* w, const QRegion& dirty);
  void Tick();  // at the end of each tick of the timer
  bool Pending() const { return !pending_.empty(); }

 private:
  const QTimer& timer_;
  std::vector<std::pair<QPointer<QWidget>, QRegion>> pending_;
};

// A spin edit for any signed 32-bit integer: it takes only text that is one or is on
// its way to one (IsSpinEditText); text that is not an integer reads as 0.
//
// A value the program sets while the operator is not editing here (no key, wheel or
// click since the edit took the focus; the viewer's cursor, 40 times a second in
// Track view) is shown by a light display laid over the edit's text, and the spin
// box itself takes the value only when the operator comes to it (focus, a key, a
// click) or a step asks for it: the box's own text layout and its frame are
// not redone for every value. value() and setValue() of this class see the value
// shown; valueChanged is raised for every change as the spin box raises it.
class TSpinEdit : public QSpinBox {
  Q_OBJECT
 public:
  explicit TSpinEdit(QWidget* parent = nullptr);
  int value() const { return pending_ ? shown_ : QSpinBox::value(); }
  void setValue(int v);
  // Sets the value as the program does: lightly while the edit has no focus.
  void ShowValue(int v);
  bool Deferred() const { return pending_; }
  // Values shown lightly are painted at the end of the pacer's tick.
  void SetPacer(TFramePacer* pacer) { pacer_ = pacer; }
  void clear() override;
  void stepBy(int steps) override;

 protected:
  QValidator::State validate(QString& text, int& pos) const override;
  int valueFromText(const QString& text) const override;
  bool event(QEvent* e) override;
  // A click in the text goes to the line edit, not to the box: seen here.
  bool eventFilter(QObject* watched, QEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void moveEvent(QMoveEvent* e) override;
  void hideEvent(QHideEvent* e) override;
  void showEvent(QShowEvent* e) override;
  void changeEvent(QEvent* e) override;

 private:
  class TDisplay;
  void Commit();  // the spin box takes the value shown
  void PlaceDisplay();
  TDisplay* display_ = nullptr;  // made when first needed, beside the edit
  TFramePacer* pacer_ = nullptr;
  int shown_ = 0;
  bool pending_ = false;
  bool showing_ = false;
  bool editing_ = false;  // the operator pressed a key or a button here since the focus came
};

// A one-line label of a fixed size: setText repaints it, and only when the text or
// the colour changed; it never asks its window to lay itself out again.
class TFastLabel : public QWidget {
  Q_OBJECT
 public:
  // `widest` is the text the label must have room for (its size hint).
  TFastLabel(const QString& text, const QString& widest, QWidget* parent = nullptr);
  void setText(const QString& text);
  QString text() const { return text_; }
  void setColor(const QColor& colour);
  // New texts and colours are painted at the end of the pacer's tick.
  void SetPacer(TFramePacer* pacer) { pacer_ = pacer; }
  QColor color() const { return colour_; }
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent*) override;
  void changeEvent(QEvent* e) override;

 private:
  // Repaints as far as the old or the new text reaches.
  void UpdateText(int oldWidth);
  QString text_;
  QString widest_;
  QColor colour_{0, 0, 0};
  TGlyphPainter glyphs_;
  int painted_ = 0;  // how far the last text reached
  TFramePacer* pacer_ = nullptr;
};

// The status line under the bottom bar: one field per TStatusField, left to right,
// painted in one go. An empty field takes no room; the shown fields share the width
// (a field that needs less than its share leaves the rest to the others, and a
// text too long for its room loses its middle, and the tool tip shows every field). Setting a field repaints only this line,
// and only when its text or colour changed.
class TStatusLine : public QWidget {
  Q_OBJECT
 public:
  explicit TStatusLine(QWidget* parent = nullptr);
  void SetField(TStatusField field, const QString& text, bool red);
  QString FieldText(TStatusField field) const { return fields_[static_cast<int>(field)].text; }
  bool FieldRed(TStatusField field) const { return fields_[static_cast<int>(field)].red; }
  // Where each field is drawn (an empty rectangle for an empty field).
  QRect FieldRect(TStatusField field) const;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* e) override;
  void changeEvent(QEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  struct TField {
    QString text;
    bool red = false;
    int need = 0;        // the text's width, +1
    QStaticText shown;   // the text as drawn at `shownFor` (cut in the middle if long)
    int shownFor = -1;
  };
  // The fields' widths, kept until a text, the font or the width changes: the rate
  // in the Link field changes a few times a second and repaints only its field.
  void Layout();
  std::vector<int> widths_ = std::vector<int>(kStatusFieldCount, 0);
  TField fields_[kStatusFieldCount];
};
