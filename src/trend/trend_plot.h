// The trend's plot on screen: the renderer in a widget, with zoom, pan, a cursor readout and follow.
#pragma once

#include "trend_export.h"
#include "trend_painter.h"

#include <QWidget>

#include <optional>

namespace tessaro::trend {

class TrendPlot : public QWidget {
    Q_OBJECT
public:
    // How the view moves when readings are added.
    enum class Follow {
        All,    // shows every reading (after Home)
        Newest, // keeps its length, its right edge at the newest reading
        Off,    // the operator zoomed or panned away: stays where it is
    };

    explicit TrendPlot(const Recording& rec, QWidget* parent = nullptr);

    Span span() const { return span_; }
    void setSpan(Span s);          // as the operator's zoom or pan does
    Follow follow() const { return follow_; }
    const TrendPicture& picture() const { return picture_; }
    TrendRequest request() const;  // what is on show (for exports)
    void setZone(const QTimeZone& zone);

    void fitAll();                 // Home
    void zoomBy(double factor);    // around the middle; < 1 zooms in
    void panBy(double fraction);   // of the span; positive goes later
    void showNewest();             // End: the span's right edge at the newest reading
    // Readings were added: the view follows when it should.
    void recordingGrew();

    // The text under the cursor: the nearest reading's time and value; empty away from the plot.
    const QString& readout() const { return readout_; }

signals:
    void spanChanged();
    void readoutChanged(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void changeSpan(Span s);
    void updateReadout(QPoint pos);

    const Recording& rec_;
    QTimeZone zone_ = QTimeZone::systemTimeZone();
    Span span_;
    Follow follow_ = Follow::All;
    TrendPicture picture_;
    enum class Drag { None, Pan, Rectangle } drag_ = Drag::None;
    QPoint press_, now_;
    Span press_span_;
    std::optional<size_t> cursor_;
    QString readout_;
};

} // namespace tessaro::trend
