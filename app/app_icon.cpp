#include "app/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace imp {
namespace {

// The SVG's 64×64 drawing at `size` pixels.
QPixmap Draw(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);

  p.setPen(QPen(QColor(0x37, 0x47, 0x4f), 2));
  p.setBrush(Qt::white);
  p.drawRoundedRect(QRectF(4, 6, 28, 36), 2, 2);
  p.setPen(QPen(QColor(0x60, 0x7d, 0x8b), 2, Qt::SolidLine, Qt::RoundCap));
  for (const int y : {14, 20, 26}) p.drawLine(QPointF(9, y), QPointF(27, y));
  p.drawLine(QPointF(9, 32), QPointF(21, 32));

  QPainterPath arrow;
  arrow.moveTo(26, 44);
  arrow.lineTo(36, 44);
  arrow.lineTo(36, 39);
  arrow.lineTo(45, 47);
  arrow.lineTo(36, 55);
  arrow.lineTo(36, 50);
  arrow.lineTo(26, 50);
  arrow.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x2e, 0x7d, 0x32));
  p.drawPath(arrow);

  const QPen edge(QColor(0x0d, 0x47, 0xa1), 2);
  p.setPen(edge);
  QPainterPath body;
  body.moveTo(44, 26);
  body.lineTo(44, 52);
  body.arcTo(QRectF(44, 48.5, 18, 7), 180, 180);
  body.lineTo(62, 26);
  p.setBrush(QColor(0x1e, 0x88, 0xe5));
  p.drawPath(body);
  p.setBrush(QColor(0x64, 0xb5, 0xf6));
  p.drawEllipse(QRectF(44, 22.5, 18, 7));
  p.setBrush(Qt::NoBrush);
  for (const double y : {35.0, 44.0}) p.drawArc(QRectF(44, y - 3.5, 18, 7), 180 * 16, 180 * 16);
  return pixmap;
}

}  // namespace

QIcon AppIcon() {
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128}) icon.addPixmap(Draw(size));
  return icon;
}

}  // namespace imp
