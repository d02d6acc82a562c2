// Numeric edit box.
#include "ui/EditLib.h"

#include <QKeyEvent>

namespace vantrel::ui {

TNaturalEdit::TNaturalEdit(QWidget* parent) : QLineEdit("0", parent), arrows_(new QScrollBar(Qt::Vertical, this)) {
  // As high as the font needs, at least the classic 20 pixels.
  setMinimumHeight(20);
  arrows_->setRange(-1, 1);
  arrows_->setValue(0);
  arrows_->setCursor(Qt::ArrowCursor);
  arrows_->setFocusPolicy(Qt::NoFocus);
  connect(arrows_, &QAbstractSlider::actionTriggered, this, &TNaturalEdit::OnArrow);
  setTextMargins(0, 0, 16, 0);
}

int32_t TNaturalEdit::ParseText(const QString& text) {
  QString t = text;
  int i = 0;
  while (i < t.size() && t[i] == ' ') ++i;
  t = t.mid(i);
  bool negative = false;
  if (!t.isEmpty() && (t[0] == '-' || t[0] == '+')) {
    negative = t[0] == '-';
    t = t.mid(1);
  }
  int base = 10;
  if (t.startsWith('$')) {
    base = 16;
    t = t.mid(1);
  } else if (t.startsWith("0x", Qt::CaseInsensitive)) {
    base = 16;
    t = t.mid(2);
  } else if (t.startsWith('x', Qt::CaseInsensitive)) {
    base = 16;
    t = t.mid(1);
  }
  if (t.isEmpty()) return 0;
  bool ok = false;
  qint64 v = t.toLongLong(&ok, base);
  if (!ok) return 0;
  if (negative) v = -v;
  // Hexadecimal spells the 32-bit pattern; decimal must fit.
  if (base == 16 && !negative && v <= 0xFFFFFFFFLL) return static_cast<int32_t>(static_cast<uint32_t>(v));
  if (v < INT32_MIN || v > INT32_MAX) return 0;
  return static_cast<int32_t>(v);
}

int32_t TNaturalEdit::Value() const {
  int32_t v = ParseText(text());
  if (v < min_) v = min_;
  if (v > max_) v = max_;
  return v;
}

void TNaturalEdit::SetValue(int32_t v) { setText(QString::number(v)); }

void TNaturalEdit::SetMinValue(int32_t v) {
  min_ = v;
  if (ParseText(text()) < v) SetValue(v);
}

void TNaturalEdit::SetMaxValue(int32_t v) {
  max_ = v;
  if (ParseText(text()) > v) SetValue(v);
}

bool TNaturalEdit::Increment() {
  int32_t v = Value();
  if (v >= max_) return false;
  SetValue(v + 1);
  return true;
}

bool TNaturalEdit::Decrement() {
  int32_t v = Value();
  if (v <= min_) return false;
  SetValue(v - 1);
  return true;
}

void TNaturalEdit::keyPressEvent(QKeyEvent* e) {
  const int caret = cursorPosition();
  if (e->key() == Qt::Key_Up || e->key() == Qt::Key_Down) {
    bool stepped = e->key() == Qt::Key_Up ? Increment() : Decrement();
    if (cursorPosition() != caret) setCursorPosition(caret);
    if (stepped) {
      e->accept();
      return;
    }
    QLineEdit::keyPressEvent(e);
    return;
  }
  const QString t = e->text();
  const bool editingKey = e->key() == Qt::Key_Left || e->key() == Qt::Key_Right || e->key() == Qt::Key_Home ||
                          e->key() == Qt::Key_End || e->key() == Qt::Key_Delete || e->key() == Qt::Key_Tab ||
                          e->key() == Qt::Key_Backtab || e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter ||
                          e->key() == Qt::Key_Escape;
  if (e->key() == Qt::Key_Backspace || editingKey ||
      (t.size() == 1 && t[0] >= '0' && t[0] <= '9' && !(e->modifiers() & Qt::ControlModifier))) {
    QLineEdit::keyPressEvent(e);
    return;
  }
  // Minus, space, letters and the clipboard shortcuts are not typed.
  e->accept();
}

void TNaturalEdit::resizeEvent(QResizeEvent* e) {
  QLineEdit::resizeEvent(e);
  const int w = 15;
  arrows_->setGeometry(width() - w - 1, 1, w, height() - 2);
}

void TNaturalEdit::OnArrow(int action) {
  const int caret = cursorPosition();
  if (action == QAbstractSlider::SliderSingleStepSub)
    Increment();  // the upper arrow
  else if (action == QAbstractSlider::SliderSingleStepAdd)
    Decrement();
  arrows_->blockSignals(true);
  arrows_->setSliderPosition(0);
  arrows_->blockSignals(false);
  if (cursorPosition() != caret) setCursorPosition(caret);
}

}  // namespace vantrel::ui
