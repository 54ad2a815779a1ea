#include "splash_art.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace tessaro {

namespace {

constexpr QSize kBackgroundSize(802, 466);
constexpr QSize kButtonSize(97, 49);
const QColor kInk(141, 169, 196);     // circle, cross and small texts
const QColor kTitle(238, 244, 237);

QPixmap blank(QSize logical, qreal ratio) {
    QPixmap p(logical * ratio);
    p.setDevicePixelRatio(ratio);
    p.fill(Qt::transparent);
    return p;
}

QFont bold(int pixels) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(pixels);
    f.setBold(true);
    return f;
}

} // namespace

QPixmap splash_background(qreal ratio) {
    if (ratio == 1.0) return QPixmap(QStringLiteral(":/splash_background.png"));
    QPixmap p = blank(kBackgroundSize, ratio);
    QPainter painter(&p);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QLinearGradient sky(0, 0, 0, kBackgroundSize.height());
    sky.setColorAt(0, QColor(11, 37, 69));
    sky.setColorAt(1, QColor(19, 49, 92));
    painter.fillRect(QRect(QPoint(0, 0), kBackgroundSize), sky);

    painter.setPen(kTitle);
    painter.setFont(bold(62));
    painter.drawText(QPointF(56, 152), QStringLiteral("Tessaro"));
    painter.setPen(kInk);
    painter.setFont(bold(21));
    painter.drawText(QPointF(60, 195), QString::fromUtf8("Clamp meter link  \u00b7  live  \u00b7  history  \u00b7  print"));
    painter.setFont(bold(15));
    painter.drawText(QPointF(540, 410), QStringLiteral("web page"));

    painter.setPen(QPen(kInk, 1.6));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QPointF(600.5, 200.5), 120, 120);
    painter.drawLine(QPointF(600.5, 140), QPointF(600.5, 261));
    painter.drawLine(QPointF(540, 200.5), QPointF(661, 200.5));
    return p;
}

QPixmap splash_button(int state, qreal ratio) {
    if (ratio == 1.0)
        return QPixmap(state == 1 ? QStringLiteral(":/splash_button1.jpg") : QStringLiteral(":/splash_button2.jpg"));
    QPixmap p = blank(kButtonSize, ratio);
    QPainter painter(&p);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QColor fill = state == 1 ? QColor(29, 111, 65) : QColor(47, 175, 101);
    painter.fillRect(QRect(QPoint(0, 0), kButtonSize), fill);
    painter.setPen(QPen(QColor(240, 243, 234), 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(1.5, 1.5, kButtonSize.width() - 3, kButtonSize.height() - 3), 4, 4);
    painter.setPen(Qt::white);
    painter.setFont(bold(17));
    painter.drawText(QRect(QPoint(0, 0), kButtonSize), Qt::AlignCenter, QStringLiteral("ENTER"));
    return p;
}

} // namespace tessaro
