// The live reading box: QLineEdit's own drawing, with the glyphs copied from images made once.
#include "reading_box.h"

#include <QFontMetrics>
#include <QGlyphRun>
#include <QMetaObject>
#include <QPaintEngine>
#include <QPainter>
#include <QPixmap>
#include <QRawFont>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTextLayout>

#include <cmath>
#include <optional>

#include <sys/mman.h>

namespace tessaro {

namespace {

// QLineEdit's fixed margins between its contents rectangle and its line of text.
constexpr int kHorizontalMargin = 2;
constexpr int kVerticalMargin = 1;
// The characters of the reading texts; any other goes to QLineEdit's drawing.
const QString kImagedCharacters = QStringLiteral("0123456789.AmOL ");
// The glyph images kept at most; a font change or this much starts them afresh.
constexpr qint64 kMaxGlyphBytes = 16 * 1024 * 1024;

// A text laid out as QLineEdit's line control lays out its own: one unbounded line, trailing spaces kept.
std::unique_ptr<QTextLayout> makeLayout(const QString& text, const QFont& font) {
    auto layout = std::make_unique<QTextLayout>(text, font);
    layout->setCacheEnabled(true);
    QTextOption option = layout->textOption();
    option.setTextDirection(Qt::LeftToRight);
    option.setFlags(QTextOption::IncludeTrailingSpaces);
    layout->setTextOption(option);
    layout->beginLayout();
    layout->createLine();
    layout->endLayout();
    return layout;
}

// A logical coordinate of a glyph in the text engine's fixed point (1/64 pixel), if it is one.
std::optional<qint64> sixtyFourths(qreal v) {
    const qreal scaled = v * 64;
    const qreal whole = std::round(scaled);
    if (std::abs(scaled - whole) > 1e-6) return std::nullopt;
    return qint64(whole);
}

// The image with 8-bit indexed pixels when it has at most 256 colours (a glyph's shades between
// the text and the panel), a quarter of the memory; otherwise, or if the indexed image would not
// give back every pixel, the image itself.
QImage indexedIfExact(const QImage& image) {
    QList<QRgb> colours;
    QImage indexed(image.size(), QImage::Format_Indexed8);
    QRgb last = 0;
    int last_index = -1;
    for (int y = 0; y < image.height(); ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        uchar* dst = indexed.scanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            if (last_index < 0 || src[x] != last) {
                last = src[x];
                last_index = int(colours.indexOf(last));
                if (last_index < 0) {
                    if (colours.size() == 256) return image;
                    last_index = int(colours.size());
                    colours.append(last);
                }
            }
            dst[x] = uchar(last_index);
        }
    }
    indexed.setColorTable(colours);
    if (indexed.convertToFormat(image.format()) != image) return image;
    return indexed;
}

// An image to draw a glyph in and throw away, whose memory goes back to the system with it: it is
// as large as the device up to the glyph, and the heap would keep such blocks for good.
QImage scratchImage(QSize size, QImage::Format format) {
    struct Mapping {
        void* at;
        size_t bytes;
    };
    const qsizetype line = (qsizetype(size.width()) * QImage::toPixelFormat(format).bitsPerPixel() + 31) / 32 * 4;
    const size_t bytes = size_t(line) * size_t(size.height());
    void* at = bytes ? ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) : MAP_FAILED;
    if (at == MAP_FAILED) return QImage(size, format);
    const auto unmap = [](void* info) {
        const auto* m = static_cast<Mapping*>(info);
        ::munmap(m->at, m->bytes);
        delete m;
    };
    return QImage(static_cast<uchar*>(at), size.width(), size.height(), line, format, unmap, new Mapping{at, bytes});
}

} // namespace

ReadingBox::ReadingBox(QWidget* parent) : QLineEdit(parent) {}

ReadingBox::~ReadingBox() = default;

void ReadingBox::paintEvent(QPaintEvent* event) {
    if (!syncing_ && paintFromCache()) {
        ++cached_paints_;
        return;
    }
    if (!syncing_) ++fallback_paints_;
    // Follow the scroll offset QLineEdit is about to work out, where this box can know it.
    const QString shown = displayText();
    if (isReadOnly() && echoMode() == QLineEdit::Normal && inputMask().isEmpty() && actions().isEmpty()
        && layoutDirection() == Qt::LeftToRight && !shown.isRightToLeft()
        && !style()->inherits("QStyleSheetStyle")) {
        QStyleOptionFrame panel;
        initStyleOption(&panel);
        const LineGeometry g = lineGeometry(panel, laidOut(shown, fallback_laid_));
        hscroll_ = g.hscroll;
        hscroll_known_ = true;
        qt_hscroll_ = g.hscroll;
        qt_vscroll_ = g.vscroll;
        qt_known_ = true;
    } else {
        hscroll_known_ = false;
        qt_known_ = false;
    }
    QLineEdit::paintEvent(event);
}

const ReadingBox::Laid& ReadingBox::laidOut(const QString& text, Laid& slot) {
    const QString key = font().key();
    if (slot.layout && slot.text == text && slot.font_key == key) return slot;
    slot.text = text;
    slot.font_key = key;
    slot.placed.clear();
    slot.layout = makeLayout(text, font());
    // Each character must own exactly one glyph, and those glyphs must be all the line draws.
    slot.cachable = true;
    qsizetype drawn = 0;
    for (const QGlyphRun& run : slot.layout->glyphRuns()) drawn += run.glyphIndexes().size();
    for (qsizetype i = 0; i < text.size() && slot.cachable; ++i) {
        const QList<QGlyphRun> runs = slot.layout->glyphRuns(int(i), 1);
        if (runs.size() != 1 || runs[0].glyphIndexes().size() != 1) {
            slot.cachable = false;
            break;
        }
        const quint32 glyph = runs[0].glyphIndexes()[0];
        slot.placed.push_back({text[i], glyph, runs[0].positions()[0], runs[0].rawFont(),
                               runs[0].rawFont().boundingRect(glyph)});
    }
    if (qsizetype(slot.placed.size()) != drawn) slot.cachable = false;
    return slot;
}

// QLineEdit::paintEvent's placement of its line: the contents rectangle less the text margins,
// centred vertically on the font's height, scrolled or aligned sideways.
ReadingBox::LineGeometry ReadingBox::lineGeometry(const QStyleOptionFrame& panel, const Laid& laid) const {
    LineGeometry g;
    QRect r = style()->subElementRect(QStyle::SE_LineEditContents, &panel, this);
    const QMargins m = textMargins();
    r.setX(r.x() + m.left());
    r.setY(r.y() + m.top());
    r.setRight(r.right() - m.right());
    r.setBottom(r.bottom() - m.bottom());
    g.contents = r;

    const QFontMetrics fm = fontMetrics();
    const Qt::Alignment va = QStyle::visualAlignment(Qt::LeftToRight, alignment());
    switch (va & Qt::AlignVertical_Mask) {
    case Qt::AlignBottom: g.vscroll = r.y() + r.height() - fm.height() - kVerticalMargin; break;
    case Qt::AlignTop: g.vscroll = r.y() + kVerticalMargin; break;
    default: g.vscroll = r.y() + (r.height() - fm.height() + 1) / 2; break;
    }
    const QRect lineRect(r.x() + kHorizontalMargin, g.vscroll, r.width() - 2 * kHorizontalMargin, fm.height());

    const QTextLine line = laid.layout->lineAt(0);
    const int cix = qRound(line.cursorToX(cursorPosition()));
    const int widthUsed = qRound(line.naturalTextWidth()) + 1;
    int h = hscroll_;
    g.fits = widthUsed <= lineRect.width();
    if (g.fits) {
        switch (va & ~(Qt::AlignAbsolute | Qt::AlignVertical_Mask)) {
        case Qt::AlignRight: h = widthUsed - lineRect.width() + 1; break;
        case Qt::AlignHCenter: h = (widthUsed - lineRect.width()) / 2; break;
        default: h = 0; break;
        }
    } else if (cix - h >= lineRect.width()) {
        h = cix - lineRect.width() + 1;
    } else if (cix - h < 0 && h < widthUsed) {
        h = cix;
    } else if (widthUsed - h < lineRect.width()) {
        h = widthUsed - lineRect.width() + 1;
    } else {
        h = qMax(0, h);
    }
    g.hscroll = h;
    // QLineEdit keeps the baseline where the font's ascent puts it.
    g.top_left = lineRect.topLeft() - QPoint(h, qRound(line.ascent()) - fm.ascent());
    return g;
}

bool ReadingBox::paintFromCache() {
    if (!isReadOnly() || echoMode() != QLineEdit::Normal || hasSelectedText() || !inputMask().isEmpty()) return false;
    if (layoutDirection() != Qt::LeftToRight || !actions().isEmpty() || style()->inherits("QStyleSheetStyle"))
        return false;
    const QString shown = text();
    if (shown.isEmpty() && !placeholderText().isEmpty()) return false;
    for (const QChar c : shown)
        if (!kImagedCharacters.contains(c)) return false;
    const Laid& laid = laidOut(shown, laid_);
    if (!laid.cachable) return false;

    QStyleOptionFrame panel;
    initStyleOption(&panel);
    const LineGeometry g = lineGeometry(panel, laid);
    // A text wider than the box scrolls from where the last paint left it.
    if (!g.fits && !hscroll_known_) return false;

    QPainter p(this);
    // Only a raster image of 32-bit pixels at a whole-number ratio, placed on whole pixels, gets
    // exactly the blending the images were made with.
    const QPaintEngine* engine = p.paintEngine();
    const QPaintDevice* device = engine ? engine->paintDevice() : nullptr;
    QImage::Format format = QImage::Format_Invalid;
    if (engine && engine->type() == QPaintEngine::Raster && device) {
        if (device->devType() == QInternal::Image) {
            format = static_cast<const QImage*>(device)->format();
        } else if (device->devType() == QInternal::Pixmap) {
            const auto* pixmap = static_cast<const QPixmap*>(device);
            if (pixmap->depth() == 32)
                format = pixmap->hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
        }
    }
    const QTransform t = p.deviceTransform();
    const int ratio = qRound(t.m11());
    const bool placeable = t.type() <= QTransform::TxScale && t.m11() == t.m22() && ratio >= 1 && ratio <= 4
        && t.m11() == ratio && t.dx() == std::floor(t.dx()) && t.dy() == std::floor(t.dy());
    const QPoint shift(int(t.dx()), int(t.dy())); // this box's place on the device
    if ((format != QImage::Format_RGB32 && format != QImage::Format_ARGB32_Premultiplied) || !placeable
        || !panelIsOpaque(panel, ratio)) {
        p.end();
        return false;
    }

    const QColor pen = palette().text().color();
    if (cache_font_ != laid.font_key || cache_panel_ != panel_key_ || cache_text_ != pen.rgba()
        || cache_format_ != format || cache_hints_ != int(p.renderHints()) || glyph_bytes_ > kMaxGlyphBytes) {
        glyphs_.clear();
        glyph_bytes_ = 0;
        cache_font_ = laid.font_key;
        cache_panel_ = panel_key_;
        cache_ratio_ = ratio;
        cache_text_ = pen.rgba();
        cache_format_ = format;
        cache_hints_ = int(p.renderHints());
    }

    // Every glyph's device pixels; they must not share one, or Qt's single fill of all outlines
    // would blend differently from the separate images.
    std::vector<GlyphImage> blits; // copies: making a glyph image may move the others
    blits.reserve(laid.placed.size());
    QSize largest_indexed;
    QImage panel_pixels; // drawn when a glyph image is made
    const QRect device_contents(g.contents.topLeft() * ratio + shift, g.contents.size() * ratio);
    for (const Placed& placed : laid.placed) {
        const QPointF at = QPointF(g.top_left) + placed.pos;
        // A glyph scrolled out of the line is not drawn at all.
        if (!t.mapRect(placed.box.translated(at)).toAlignedRect().adjusted(-4, -4, 4, 4).intersects(device_contents))
            continue;
        const std::optional<GlyphKey> key = glyphKey(placed, at, t);
        const GlyphImage* glyph = key ? glyphImage(*key, placed, at, t, panel, panel_pixels, g.contents, p.renderHints()) : nullptr;
        if (!glyph) {
            p.end();
            return false;
        }
        if (glyph->image.isNull()) continue; // a blank
        for (const GlyphImage& b : blits) {
            if (b.rect.intersects(glyph->rect)) {
                p.end();
                return false;
            }
        }
        if (glyph->image.format() == QImage::Format_Indexed8) largest_indexed = largest_indexed.expandedTo(glyph->rect.size());
        blits.push_back(*glyph);
    }

    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &p, this);
    p.setClipRect(g.contents);
    // Copy in device pixels: undo the ratio's scale, keep the translation to this box.
    p.setWorldTransform(QTransform::fromScale(1.0 / ratio, 1.0 / ratio));
    // An indexed image goes through one image in the device's format: Qt would convert it on
    // every copy through its general path, several times slower than a lookup per pixel.
    QImage expanded;
    if (!largest_indexed.isEmpty()) expanded = QImage(largest_indexed, format);
    for (const GlyphImage& b : blits) {
        if (b.image.format() != QImage::Format_Indexed8) {
            p.drawImage(b.rect.topLeft() - shift, b.image);
            continue;
        }
        const QRgb* colours = b.device_colours.constData();
        for (int y = 0; y < b.rect.height(); ++y) {
            const uchar* src = b.image.constScanLine(y);
            auto* dst = reinterpret_cast<QRgb*>(expanded.scanLine(y));
            for (int x = 0; x < b.rect.width(); ++x) dst[x] = colours[src[x]];
        }
        p.drawImage(b.rect.topLeft() - shift, expanded, QRect(QPoint(), b.rect.size()));
    }
    p.end();

    hscroll_ = g.hscroll;
    hscroll_known_ = true;
    if (!qt_known_ || qt_hscroll_ != g.hscroll || qt_vscroll_ != g.vscroll) {
        if (!sync_pending_) {
            sync_pending_ = true;
            QMetaObject::invokeMethod(this, &ReadingBox::syncLineEditScroll, Qt::QueuedConnection);
        }
    }
    return true;
}

// The panel as QLineEdit draws it under the text, in device pixels from the box's corner.
QImage ReadingBox::panelImage(const QStyleOptionFrame& panel, int ratio) const {
    const QBrush fill = palette().brush(backgroundRole());
    QImage image = scratchImage(size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(autoFillBackground() ? fill.color() : QColor(Qt::transparent));
    {
        QPainter sp(&image);
        style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &sp, this);
    }
    image.setDevicePixelRatio(1);
    return image;
}

// Whether the panel is opaque under the line, where the glyph images hold it; looked at again when
// anything it depends on changes.
bool ReadingBox::panelIsOpaque(const QStyleOptionFrame& panel, int ratio) {
    const QBrush fill = palette().brush(backgroundRole());
    const QString key = QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8")
                            .arg(width())
                            .arg(height())
                            .arg(int(panel.state))
                            .arg(palette().cacheKey())
                            .arg(quintptr(style()))
                            .arg(ratio)
                            .arg(autoFillBackground())
                            .arg(panel.lineWidth);
    if (key == panel_key_) return panel_opaque_;
    panel_key_ = key;
    panel_opaque_ = false;
    // A background other than one colour is not known here.
    if (autoFillBackground() && fill.style() != Qt::SolidPattern) return false;
    const QImage image = panelImage(panel, ratio);
    const QRect inside = style()->subElementRect(QStyle::SE_LineEditContents, &panel, this);
    const QRect area = QRect(inside.topLeft() * ratio, inside.size() * ratio).intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = area.left(); x <= area.right(); ++x)
            if (qAlpha(line[x]) != 255) return false;
    }
    panel_opaque_ = true;
    return true;
}

// The key of a glyph where the line puts it; none off the text engine's grid.
std::optional<ReadingBox::GlyphKey> ReadingBox::glyphKey(const Placed& placed, QPointF at, const QTransform& t) const {
    const std::optional<qint64> x = sixtyFourths(at.x());
    const std::optional<qint64> y = sixtyFourths(at.y());
    if (!x || !y) return std::nullopt;
    return GlyphKey{placed.glyph, placed.ch.unicode(), *x, *y, qRound(t.dx()), qRound(t.dy())};
}

// The image of one glyph where the line puts it on the device, made by drawing its character alone
// through the same text drawing QLineEdit uses, with the same transformation: the outline's
// coordinates then go through the same arithmetic to the same pixels (a glyph drawn elsewhere and
// moved by whole pixels can round its curves differently). Null when the character does not draw
// that glyph by itself or the glyph is not on the device.
const ReadingBox::GlyphImage* ReadingBox::glyphImage(const GlyphKey& key, const Placed& placed, QPointF at,
                                                     const QTransform& t, const QStyleOptionFrame& panel,
                                                     QImage& panel_pixels, const QRect& contents,
                                                     QPainter::RenderHints hints) {
    if (auto it = glyphs_.constFind(key); it != glyphs_.cend()) return &it.value();

    const auto alone = makeLayout(QString(placed.ch), font());
    const QList<QGlyphRun> runs = alone->glyphRuns();
    if (runs.size() != 1 || runs[0].glyphIndexes().size() != 1 || runs[0].glyphIndexes()[0] != placed.glyph
        || !(runs[0].rawFont() == placed.font))
        return nullptr;
    const int ratio = cache_ratio_;
    // The glyph's box with a margin, on the device (whose pixels start at 0).
    const QRect region = t.mapRect(placed.box.translated(at))
                             .toAlignedRect()
                             .adjusted(-4, -4, 4, 4)
                             .intersected(QRect(0, 0, 1 << 20, 1 << 20));
    if (region.isEmpty()) return nullptr;
    const QPointF origin = at - runs[0].positions()[0];
    bool same_transform = true;
    auto draw = [&](QImage& image, const QColor& colour, bool clipped) {
        image.setDevicePixelRatio(ratio);
        QPainter gp(&image);
        gp.setRenderHints(hints);
        gp.setTransform(QTransform::fromTranslate(t.dx() / ratio, t.dy() / ratio));
        same_transform = same_transform && gp.deviceTransform() == t;
        if (clipped) gp.setClipRect(contents);
        gp.setPen(colour);
        alone->draw(&gp, origin);
    };

    // The ink: every device pixel the outline covers at all.
    QImage coverage = scratchImage(QSize(region.right() + 1, region.bottom() + 1), QImage::Format_ARGB32_Premultiplied);
    coverage.fill(Qt::transparent);
    draw(coverage, Qt::black, false);
    if (!same_transform) return nullptr;
    int left = region.right() + 1, top = region.bottom() + 1, right = -1, bottom = -1;
    for (int y = region.top(); y <= region.bottom(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(coverage.constScanLine(y));
        for (int x = region.left(); x <= region.right(); ++x) {
            if (qAlpha(line[x]) == 0) continue;
            left = qMin(left, x), right = qMax(right, x);
            top = qMin(top, y), bottom = qMax(bottom, y);
        }
    }
    GlyphImage glyph;
    if (right >= 0) {
        const QRect ink(QPoint(left, top), QPoint(right, bottom));
        if ((ink.left() == region.left() && ink.left() > 0) || (ink.top() == region.top() && ink.top() > 0)
            || ink.right() == region.right() || ink.bottom() == region.bottom())
            return nullptr; // the outline reaches past its box
        // The glyph over the panel's own pixels, clipped to the line as QLineEdit clips it.
        QImage full = scratchImage(coverage.size(), cache_format_);
        full.fill(Qt::black);
        {
            QPainter under(&full);
            under.setCompositionMode(QPainter::CompositionMode_Source);
            if (panel_pixels.isNull()) panel_pixels = panelImage(panel, ratio);
            under.drawImage(QPoint(int(t.dx()), int(t.dy())), panel_pixels);
        }
        draw(full, QColor::fromRgba(cache_text_), true);
        glyph.image = indexedIfExact(full.copy(ink));
        glyph.image.setDevicePixelRatio(1);
        glyph.rect = ink;
        if (glyph.image.format() == QImage::Format_Indexed8) {
            // The colours as Qt itself turns them into device pixels.
            const QList<QRgb> table = glyph.image.colorTable();
            QImage row(int(table.size()), 1, QImage::Format_Indexed8);
            row.setColorTable(table);
            for (int i = 0; i < row.width(); ++i) row.scanLine(0)[i] = uchar(i);
            const QImage device = row.convertToFormat(cache_format_);
            const auto* pixels = reinterpret_cast<const QRgb*>(device.constScanLine(0));
            glyph.device_colours = QList<QRgb>(pixels, pixels + device.width());
        }
        glyph_bytes_ += glyph.image.sizeInBytes() + qint64(glyph.device_colours.size() * sizeof(QRgb));
    }
    return &glyphs_.insert(key, glyph).value();
}

void ReadingBox::syncLineEditScroll() {
    sync_pending_ = false;
    // A paint of one pixel: QLineEdit works out its offsets, its text falls outside and is not filled.
    QImage pixel(1, 1, QImage::Format_ARGB32_Premultiplied);
    syncing_ = true;
    render(&pixel, QPoint(), QRegion(0, 0, 1, 1), QWidget::RenderFlags());
    syncing_ = false;
}

} // namespace tessaro
