// A drawn shape control: the alarm lamp (a filled circle) and its rectangular surround.
#pragma once

#include <QColor>
#include <QWidget>

namespace tessaro {

class ShapeWidget : public QWidget {
    Q_OBJECT
public:
    enum class Kind { Rectangle, Circle };
    ShapeWidget(Kind kind, QWidget* parent = nullptr);

    Kind kind() const { return kind_; }
    // Fill and border colour together, as the lamp always changes both.
    void setColour(const QColor& colour);
    void setFilled(bool filled);
    QColor fillColour() const { return fill_; }
    QColor borderColour() const { return border_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Kind kind_;
    bool filled_ = false;
    QColor fill_ = Qt::black;
    QColor border_ = Qt::black;
};

} // namespace tessaro
