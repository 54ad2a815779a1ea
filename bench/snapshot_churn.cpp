// The kernel's work per snapshot write: run under `perf stat -e kmem:mm_page_alloc,kmem:mm_page_free`
// or `strace -c`, once with the snapshot writer and once with a new file renamed over the target.
#include "chart/snapshot_file.h"
#include "platform/safe_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <cstdio>
#include <cstdlib>

#include <unistd.h>

using namespace tessaro;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: tessaro-snapshot-churn writer|fresh FOLDER [WRITES]\n");
        return 2;
    }
    const bool fresh = args[1] == QLatin1String("fresh");
    const QString path = QDir(args[2]).filePath(QStringLiteral("555.bmp"));
    const int writes = args.size() > 3 ? args[3].toInt() : 200;

    // A chart-sized image that changes between writes, as the live chart does.
    QImage image(729, 361, QImage::Format_RGB32);
    SnapshotWriter writer;
    const QByteArray target = QFile::encodeName(path);
    for (int i = 0; i < writes; ++i) {
        image.fill(QColor(i % 256, 64, 64));
        if (fresh) {
            // The former way: a new file every time, renamed over the target.
            const QByteArray bytes = bmp_bytes(image);
            const TempFile temp = create_temp_file(target);
            if (temp.fd < 0 || !write_fully(temp.fd, bytes.constData(), bytes.size()) || ::close(temp.fd) != 0 ||
                std::rename(temp.name.constData(), target.constData()) != 0)
                return 1;
        } else if (!writer.write(image, path)) {
            return 1;
        }
    }
    std::printf("%d writes of %lld bytes\n", writes, static_cast<long long>(QFileInfo(path).size()));
    return 0;
}
