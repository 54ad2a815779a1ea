// The designed Chinese texts need a CJK font: the installed ones are found, and the real program
// says once on standard error when fontconfig offers none.
#include "app/font_check.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFontDatabase>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace tessaro;

class TstFontWarning : public QObject {
    Q_OBJECT
private slots:
    void designedTextsAreCoveredHere() {
        // Catches a coverage check that finds no font on a system with a CJK font (a warning for
        // nothing) or takes a Latin font for one.
        const QString chars = designed_cjk_characters();
        for (const QString& c : {QStringLiteral("打"), QStringLiteral("组"), QStringLiteral("\u25A0"), QStringLiteral("\uFF1F")})
            QVERIFY2(chars.contains(c), qPrintable(c));
        QVERIFY(!chars.contains(QLatin1Char('C')));
        if (QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty())
            QSKIP("no CJK font installed (tools/scripts/deps.sh installs one)");
        const QStringList covering = families_covering(chars);
        QVERIFY2(!covering.isEmpty(), qPrintable(QFontDatabase::families(QFontDatabase::SimplifiedChinese).join(", ")));
        QVERIFY(!covering.contains(QStringLiteral("DejaVu Sans")));
        QVERIFY(missing_cjk_font_warning().isEmpty());
    }

    void programWarnsOnceWithoutACjkFont() {
        // Catches a program that opens with blank boxes for its Chinese texts and never says why,
        // or says it again and again.
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        QFile conf(tmp.filePath(QStringLiteral("fonts.conf")));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write("<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n<fontconfig>\n"
                   "  <dir>/usr/share/fonts/truetype/dejavu</dir>\n  <cachedir>" +
                   QFile::encodeName(tmp.filePath(QStringLiteral("cache"))) + "</cachedir>\n</fontconfig>\n");
        conf.close();
        QProcess app;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("FONTCONFIG_FILE"), conf.fileName());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        for (const char* var : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR", "XDG_DATA_HOME"})
            env.insert(QString::fromLatin1(var), tmp.path());
        app.setProcessEnvironment(env);
        app.start(QStringLiteral(TESSARO_EXE), {});
        QVERIFY(app.waitForStarted(10000));
        QByteArray err;
        const QByteArray warning = "no installed font shows the program's Chinese texts";
        for (QDeadlineTimer d(60000); !err.contains(warning) && !d.hasExpired() && app.state() == QProcess::Running;) {
            app.waitForReadyRead(200);
            err += app.readAllStandardError();
        }
        // The splash is up by now; let it run a little past the check, then end it.
        QTRY_VERIFY_WITH_TIMEOUT(err.contains(warning), 1000);
        app.terminate();
        QVERIFY(app.waitForFinished(30000));
        err += app.readAllStandardError();
        QCOMPARE(err.count(warning), 1);
        QVERIFY2(err.contains("fonts-wqy-microhei"), err.constData());
    }
};

QTEST_MAIN(TstFontWarning)
#include "tst_font_warning.moc"
