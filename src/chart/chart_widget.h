// The chart surface on the main window: shows the drawn chart image and reports the mouse in twips.
#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>

namespace tessaro {

class ChartWidget : public QWidget {
    Q_OBJECT
public:
    explicit ChartWidget(QWidget* parent = nullptr);

    // Shows the image at the widget's origin, unscaled.
    void setImage(const QImage& image);
    const QImage& image() const { return image_; }
    // Where the cursor is on the surface in twips, when it is over it.
    bool cursorInside() const { return inside_; }
    QPoint cursorTwips() const { return cursor_twips_; }

signals:
    void pressed(QPoint twips, Qt::MouseButton button);
    // A release after a press on the surface; inside tells whether it happened over the surface.
    void released(QPoint twips, Qt::MouseButton button, bool inside);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QImage image_;
    bool inside_ = false;
    bool press_seen_ = false;
    QPoint cursor_twips_;
};

// 15 twips per logical pixel.
inline QPoint pixels_to_twips(QPointF p) { return QPoint(static_cast<int>(p.x() * 15), static_cast<int>(p.y() * 15)); }

} // namespace tessaro
