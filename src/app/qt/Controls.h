#pragma once
// Two small controls of the main window: the spin edit for the whole signed 32-bit
// range, and a label that repaints itself when its text changes but never asks
// the window to lay itself out again (the tracker label changes 40 times a second);
// and the look's fonts and colours in Qt's terms.
#include <QColor>
#include <QFont>
#include <QSpinBox>
#include <QString>
#include <QWidget>
#include <vector>

#include "reg/RegFormLook.h"

// The look's font, with metric-compatible stand-ins where it is not installed
// (Liberation Sans has Arial's widths and MS Sans Serif is close to them; Liberation
// Mono has Courier New's).
QFont LookFont(const look::TFontSpec& spec);
QColor LookColor(look::TRGB rgb);

// A spin edit for any signed 32-bit integer: it takes only text that is one or is on
// its way to one (IsSpinEditText); text that is not an integer reads as 0.
class TSpinEdit : public QSpinBox {
  Q_OBJECT
 public:
  explicit TSpinEdit(QWidget* parent = nullptr);

 protected:
  QValidator::State validate(QString& text, int& pos) const override;
  int valueFromText(const QString& text) const override;
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
  QColor color() const { return colour_; }
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QString text_;
  QString widest_;
  QColor colour_{0, 0, 0};
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
  void paintEvent(QPaintEvent*) override;

 private:
  struct TField {
    QString text;
    bool red = false;
  };
  std::vector<int> FieldWidths() const;
  TField fields_[kStatusFieldCount];
};
