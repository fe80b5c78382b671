#pragma once
// A paint box that draws a bracket open on the right, tying the controls beside it together:
// black while enabled, silver while disabled.

#include <QColor>
#include <QWidget>

class QPainter;

// The bracket's pen colour for a paint box's enabled state.
QColor BracketColor(bool enabled);
// Draws the bracket over a box of the given size: from (width, height - 1) to
// (0, height - 1), to (0, 0), to (width, 0).
void PaintBracket(QPainter& painter, const QSize& size, bool enabled);

class TBracketBox : public QWidget {
  Q_OBJECT

public:
  explicit TBracketBox(QWidget* parent = nullptr);

protected:
  void paintEvent(QPaintEvent* event) override;
};
