// The live reading box: a read-only line edit that draws its large characters from images made once.
#pragma once

#include <QHash>
#include <QImage>
#include <QList>
#include <QLineEdit>
#include <QPainter>
#include <QPoint>
#include <QPointF>
#include <QRawFont>
#include <QRect>
#include <QRgb>
#include <QString>
#include <QTransform>

#include <memory>
#include <optional>
#include <vector>

class QStyleOptionFrame;
class QTextLayout;

namespace tessaro {

// Looks and behaves exactly as a QLineEdit. Qt does not keep glyphs of this box's size in its glyph
// cache and fills every outline again on each paint; this box draws the characters of readings from
// images of their glyphs made once per font, screen ratio, colours and place on the screen, so a
// paint costs a few image copies. Whatever the images cannot reproduce exactly (other characters, glyphs
// whose pixels touch, a selection, a caret, an unusual painter) goes to QLineEdit's own drawing.
class ReadingBox : public QLineEdit {
    Q_OBJECT
public:
    explicit ReadingBox(QWidget* parent = nullptr);
    ~ReadingBox() override;

    // Paints drawn from the glyph images and paints handed to QLineEdit (for tests and benchmarks).
    int cachedPaints() const { return cached_paints_; }
    int fallbackPaints() const { return fallback_paints_; }
    // Memory held by the glyph images.
    qint64 glyphBytes() const { return glyph_bytes_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // A character of the text and where its glyph sits on the line (QTextLayout's positions).
    struct Placed {
        QChar ch;
        quint32 glyph = 0;
        QPointF pos;
        QRawFont font;
        QRectF box; // the glyph's bounding box from its position
    };
    // The text laid out as QLineEdit lays out its own.
    struct Laid {
        QString text;
        QString font_key;
        std::unique_ptr<QTextLayout> layout;
        std::vector<Placed> placed;
        bool cachable = false; // every character has one glyph of its own that the images can hold
    };
    // One glyph at one place: the pixels its ink touches, as the box shows them (the glyph drawn over
    // the panel, clipped to the line).
    struct GlyphImage {
        QImage image; // null for a glyph without ink; 8-bit indexed where its colours allow
        QRect rect;   // where it goes on the device
        QList<QRgb> device_colours; // an indexed image's colours as device pixels
    };
    // A glyph at a position on the line (1/64 pixel) on a device at a translation.
    struct GlyphKey {
        quint32 glyph;
        char16_t ch;
        qint64 x, y;
        int dx, dy;
        bool operator==(const GlyphKey&) const = default;
        friend size_t qHash(const GlyphKey& k, size_t seed = 0) {
            return qHashMulti(seed, k.glyph, k.ch, k.x, k.y, k.dx, k.dy);
        }
    };
    // Where QLineEdit puts the line; hscroll depends on the previous paint when the text is too wide.
    struct LineGeometry {
        QRect contents;
        QPoint top_left;
        int hscroll = 0;
        int vscroll = 0;
        bool fits = true; // the text is narrower than the line
    };

    bool paintFromCache();
    const Laid& laidOut(const QString& text, Laid& slot);
    LineGeometry lineGeometry(const QStyleOptionFrame& panel, const Laid& laid) const;
    QImage panelImage(const QStyleOptionFrame& panel, int ratio) const;
    bool panelIsOpaque(const QStyleOptionFrame& panel, int ratio);
    std::optional<GlyphKey> glyphKey(const Placed& placed, QPointF at, const QTransform& t) const;
    const GlyphImage* glyphImage(const GlyphKey& key, const Placed& placed, QPointF at, const QTransform& t,
                                 const QStyleOptionFrame& panel, QImage& panel_pixels, const QRect& contents,
                                 QPainter::RenderHints hints);
    void syncLineEditScroll();

    Laid laid_;
    Laid fallback_laid_;
    // The glyph images and what they were made for.
    QHash<GlyphKey, GlyphImage> glyphs_;
    qint64 glyph_bytes_ = 0;
    QString cache_font_;
    int cache_ratio_ = 0;
    QRgb cache_text_ = 0;
    QString cache_panel_;
    QImage::Format cache_format_ = QImage::Format_Invalid;
    int cache_hints_ = 0;
    // Whether the panel under the line is opaque, and what that was found for.
    QString panel_key_;
    bool panel_opaque_ = false;

    // QLineEdit keeps its scroll offsets from its own paints (mouse positions, the caret and the
    // input method use them); after a paint from the images it lays them out again off screen.
    int hscroll_ = 0;
    bool hscroll_known_ = true;
    int qt_hscroll_ = 0;
    int qt_vscroll_ = 0;
    bool qt_known_ = false;
    bool sync_pending_ = false;
    bool syncing_ = false;

    int cached_paints_ = 0;
    int fallback_paints_ = 0;
};

} // namespace tessaro
