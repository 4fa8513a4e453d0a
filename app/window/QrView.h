// The status line's address as a QR code in the window, black on white with its quiet
// zone, as large as its square allows; nothing while there is no address.
#pragma once

#include <QWidget>

#include "app/QrCode.h"

namespace tarnhollow {

class QrView : public QWidget {
public:
    explicit QrView(QWidget* parent = nullptr);
    void SetUrl(const QString& url);
    const QString& Url() const { return url_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static constexpr int kQuietZone = 4;
    QString url_;
    QrCode code_;
};

}  // namespace tarnhollow
