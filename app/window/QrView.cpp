// Drawing the QR code.
#include "app/window/QrView.h"

#include <QPainter>
#include <algorithm>

namespace tarnhollow {

QrView::QrView(QWidget* parent) : QWidget(parent) {}

void QrView::SetUrl(const QString& url) {
    if (url == url_) return;
    url_ = url;
    code_ = url.isEmpty() ? QrCode{} : EncodeQr(url.toStdString());
    setToolTip(url);
    update();
}

void QrView::paintEvent(QPaintEvent*) {
    if (code_.size == 0) return;
    const int modules = code_.size + 2 * kQuietZone;
    // Whole pixels per module keep the modules sharp for a camera.
    const int scale = std::min(width(), height()) / modules;
    if (scale < 1) return;
    const int side = modules * scale;
    const QPoint origin((width() - side) / 2, (height() - side) / 2);
    QPainter painter(this);
    painter.fillRect(QRect(origin, QSize(side, side)), Qt::white);
    for (int y = 0; y < code_.size; ++y) {
        for (int x = 0; x < code_.size; ++x) {
            if (!code_.Dark(x, y)) continue;
            painter.fillRect(origin.x() + (x + kQuietZone) * scale, origin.y() + (y + kQuietZone) * scale, scale, scale,
                             Qt::black);
        }
    }
}

}  // namespace tarnhollow
