// Where the snapshot goes: the user's own runtime folder, never one others can write into.
#include "platform/paths.h"

#include <QtTest>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

using namespace tessaro;

class TstPaths : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void snapshot_folder();

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QByteArray saved_runtime_, saved_cache_;
};

void TstPaths::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    saved_runtime_ = qgetenv("XDG_RUNTIME_DIR");
    saved_cache_ = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir_->filePath(QStringLiteral("cache"))));
}

void TstPaths::cleanup() {
    qputenv("XDG_RUNTIME_DIR", saved_runtime_);
    qputenv("XDG_CACHE_HOME", saved_cache_);
}

void TstPaths::snapshot_folder() {
    // Catches a snapshot in a runtime folder other users can write into (they could plant files
    // there), or one under /tmp when there is no runtime folder at all.
    const QString own = dir_->filePath(QStringLiteral("own"));
    QVERIFY(QDir().mkdir(own));
    QVERIFY(QFile::setPermissions(own, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(own));
    QCOMPARE(paths::runtime_dir(), own);
    QCOMPARE(paths::snapshot_file(), own + QStringLiteral("/tessaro/555.bmp"));

    qunsetenv("XDG_RUNTIME_DIR");
    QCOMPARE(paths::runtime_dir(), QString());
    QCOMPARE(paths::snapshot_file(), dir_->filePath(QStringLiteral("cache/tessaro/555.bmp")));

    if (::geteuid() != 0) QSKIP("a folder of another user needs root to make");
    const QString foreign = dir_->filePath(QStringLiteral("foreign"));
    QVERIFY(QDir().mkdir(foreign));
    QVERIFY(::chown(QFile::encodeName(foreign).constData(), 65534, 65534) == 0);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(foreign));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(".*")));
    QVERIFY(!paths::snapshot_file().startsWith(foreign));
}

QTEST_GUILESS_MAIN(TstPaths)
#include "tst_paths.moc"
