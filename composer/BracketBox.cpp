#include "composer/BracketBox.h"

#include <QPainter>

QColor BracketColor(bool enabled) { return enabled ? QColor(Qt::black) : QColor(0xC0, 0xC0, 0xC0); }

void PaintBracket(QPainter& painter, const QSize& size, bool enabled) {
  const int width = size.width();
  const int bottom = size.height() - 1;
  painter.setPen(QPen(BracketColor(enabled), 1));
  const QPoint points[] = {{width, bottom}, {0, bottom}, {0, 0}, {width, 0}};
  painter.drawPolyline(points, 4);
}

TBracketBox::TBracketBox(QWidget* parent) : QWidget(parent) {}

void TBracketBox::paintEvent(QPaintEvent* event) {
  (void)event;
  QPainter painter(this);
  PaintBracket(painter, size(), isEnabled());
}
