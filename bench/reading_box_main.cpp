// tessaro-reading-box: the cost of one repaint of the live reading box, as QLineEdit draws it and as
// the reading box draws it from its glyph images. The box sits where the realtime view has it, in the
// program's font and colours, and shows a new reading before every repaint.
//
//   tessaro-reading-box [REPAINTS]    prints "lineedit_repaint_us N" and "reading_box_repaint_us N"
#include "app/reading_box.h"
#include "app/window_looks.h"
#include "link/live_reading.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>

#include <cstdio>

using namespace tessaro;

namespace {

// Microseconds per repaint of the box over the given number of readings, the queued work each
// repaint leaves behind included.
double repaint_us(QLineEdit* box, int repaints) {
    QElapsedTimer clock;
    qint64 ns = 0;
    for (int i = 0; i < repaints + 20; ++i) {
        box->setText(live_reading_text((i * 7919) % 40000 % 32768, 49));
        box->setCursorPosition(0);
        QCoreApplication::processEvents();
        clock.start();
        box->repaint();
        QCoreApplication::processEvents();
        if (i >= 20) ns += clock.nsecsElapsed(); // the first ones make the glyph images
    }
    return double(ns) / repaints / 1000.0;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int repaints = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 400;
    QWidget window;
    window.resize(1018, 692);
    QFont font(QString::fromUtf8("新宋体"));
    font.setPointSizeF(140);
    font.setBold(true);
    auto* plain = new QLineEdit(&window);
    auto* box = new ReadingBox(&window);
    for (QLineEdit* b : {plain, static_cast<QLineEdit*>(box)}) {
        b->setGeometry(80, 8, 673, 177);
        b->setAlignment(Qt::AlignCenter);
        b->setReadOnly(true);
        b->setFont(font);
        set_colours(b, QColor(0, 128, 0), kPlainButtonFace);
    }
    window.show();
    for (QLineEdit* b : {static_cast<QLineEdit*>(plain), static_cast<QLineEdit*>(box)}) {
        plain->setVisible(b == plain);
        box->setVisible(b == box);
        std::printf("%s %.1f us\n", b == plain ? "lineedit_repaint" : "reading_box_repaint", repaint_us(b, repaints));
    }
    std::printf("reading_box fallbacks %d of %d paints\n", box->fallbackPaints(),
                box->fallbackPaints() + box->cachedPaints());
    std::printf("reading_box glyph_images %.2f MB\n", double(box->glyphBytes()) / (1024 * 1024));
    return 0;
}
