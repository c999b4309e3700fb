#include "panel/application_icon.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <map>
#include <numbers>

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>

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

// Draws each size the first time a platform asks for it (the window system's title bar and
// task bar; off screen, never), instead of all seven at start-up: drawing them takes a few
// milliseconds, a tenth of the program's start-up.
class DrawnIconEngine final : public QIconEngine {
 public:
  QIconEngine* clone() const override { return new DrawnIconEngine(*this); }
  QString key() const override { return QStringLiteral("tonvisor-drawn"); }

  QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
    QList<QSize> sizes;
    for (int size : kSizes) sizes << QSize(size, size);
    return sizes;
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
    // The nearest drawn size not smaller than asked, as the set of pixmaps used to give.
    int side = kSizes[std::size(kSizes) - 1];
    for (int drawn : kSizes) {
      if (drawn >= std::max(size.width(), size.height())) {
        side = drawn;
        break;
      }
    }
    QPixmap& cached = m_drawn[side];
    if (cached.isNull()) cached = drawIcon(side);
    QPixmap shown = cached.size() == size ? cached : cached.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (mode == QIcon::Disabled) {
      QStyleOption option;
      return QApplication::style()->generatedIconPixmap(mode, shown, &option);
    }
    return shown;
  }

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
  }

 private:
  static constexpr int kSizes[] = {16, 24, 32, 48, 64, 128, 256};
  std::map<int, QPixmap> m_drawn;
};

}  // namespace

QIcon ApplicationIcon() { return QIcon(new DrawnIconEngine); }

}  // namespace tonvisor
