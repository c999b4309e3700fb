#include "panel/application_icon.h"

#include <cmath>
#include <numbers>

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace tonvisor {

namespace {

// data/tonvisor.svg is this drawing for the desktop's menus: change the two together.
QPixmap drawIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 64.0, size / 64.0);  // drawn on a 64 x 64 grid

  // Pins: four on each side.
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x9A, 0xA5, 0xB1));
  for (int i = 0; i < 4; ++i) {
    const double y = 14 + i * 11;
    painter.drawRect(QRectF(2, y, 8, 4));
    painter.drawRect(QRectF(54, y, 8, 4));
  }

  // Body.
  painter.setBrush(QColor(0x1F, 0x3A, 0x5F));
  painter.drawRoundedRect(QRectF(8, 6, 48, 52), 7, 7);
  painter.setBrush(QColor(0x2B, 0x50, 0x80));
  painter.drawEllipse(QPointF(16, 14), 2.5, 2.5);  // pin-1 mark

  // A sound wave whose amplitude swells and fades across the chip.
  QPainterPath wave;
  for (int step = 0; step <= 80; ++step) {
    const double t = step / 80.0;
    const double x = 13 + t * 38;
    const double envelope = std::sin(t * std::numbers::pi);
    const double y = 32 - 15 * envelope * std::sin(t * 6 * std::numbers::pi);
    if (step == 0) {
      wave.moveTo(x, y);
    } else {
      wave.lineTo(x, y);
    }
  }
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(QColor(0x4F, 0xD1, 0xC5), 3.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPath(wave);
  return pixmap;
}

}  // namespace

QIcon ApplicationIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(drawIcon(size));
  return icon;
}

}  // namespace tonvisor
