// A one-line edit box for a whole number, stepped by the arrow keys and by
// the two arrows of a small scroll bar inside its frame.
#pragma once

#include <QLineEdit>
#include <QScrollBar>
#include <cstdint>

namespace vantrel::ui {

class TNaturalEdit : public QLineEdit {
  Q_OBJECT
 public:
  explicit TNaturalEdit(QWidget* parent = nullptr);

  int32_t MinValue() const { return min_; }
  int32_t MaxValue() const { return max_; }
  void SetMinValue(int32_t v);
  void SetMaxValue(int32_t v);
  // The text as a number, clamped to the bounds; never changes the text.
  int32_t Value() const;
  // Writes the number as given; a later read clamps it.
  void SetValue(int32_t v);
  bool Increment();
  bool Decrement();

  // The text as a 32-bit number: decimal with an optional sign after
  // leading spaces, or hexadecimal after "$", "x" or "0x"; anything else 0.
  static int32_t ParseText(const QString& text);

  QScrollBar* Arrows() const { return arrows_; }

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  void OnArrow(int action);

  int32_t min_ = 0;
  int32_t max_ = 2147483647;
  QScrollBar* arrows_;
};

}  // namespace vantrel::ui
