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

    // The chart at device-pixel ratio 1: what the snapshot and the saved bitmap hold. Shown at the
    // widget's origin unless a screen image at the widget's own ratio is set.
    void setImage(const QImage& image);
    const QImage& image() const { return image_; }
    // The same chart drawn at the screen's device-pixel ratio (a null image on a ratio-1 screen).
    void setScreenImage(const QImage& image);
    const QImage& screenImage() const { return screen_image_; }
    // Where the cursor is on the surface in twips, when it is over it.
    bool cursorInside() const { return inside_; }
    QPoint cursorTwips() const { return cursor_twips_; }

signals:
    void pressed(QPoint twips, Qt::MouseButton button);
    // A release after a press on the surface; inside tells whether it happened over the surface.
    void released(QPoint twips, Qt::MouseButton button, bool inside);
    // The widget is shown at a device-pixel ratio that its images were not drawn for (another screen).
    void ratioChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QImage image_;
    QImage screen_image_;
    qreal drawn_ratio_ = 1.0; // the ratio the images were last drawn for
    bool inside_ = false;
    bool press_seen_ = false;
    QPoint cursor_twips_;
};

// 15 twips per logical pixel.
inline QPoint pixels_to_twips(QPointF p) { return QPoint(static_cast<int>(p.x() * 15), static_cast<int>(p.y() * 15)); }

} // namespace tessaro
