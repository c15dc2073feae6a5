#include "settings/configuration.h"

#include <QtTest>

static const QString S = QStringLiteral("SETTINGS");
static const QString K = QStringLiteral("port");

class TestLocations : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void settingsFile_data() {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<QString>("option");        // --config, in the temporary folder
        QTest::addColumn<QString>("xdgConfigHome"); // in the temporary folder if it starts with '@'
        QTest::addColumn<QString>("expected");
        const QString xdg = QStringLiteral("@xdg");
        QTest::newRow("build folder: beside the program")
            << false << QString() << xdg << QStringLiteral("bin/config.ini");
        QTest::newRow("installed, read-only folder: XDG_CONFIG_HOME")
            << true << QString() << xdg << QStringLiteral("xdg/orv-test/config.ini");
        QTest::newRow("installed, relative XDG_CONFIG_HOME ignored")
            << true << QString() << QStringLiteral("xdg")
            << QStringLiteral("home/.config/orv-test/config.ini");
        QTest::newRow("--config with a missing file, even installed")
            << true << QStringLiteral("bench/my.ini") << xdg << QStringLiteral("bench/my.ini");
    }

    void settingsFile() {
        QFETCH(bool, installed);
        QFETCH(QString, option);
        QFETCH(QString, xdgConfigHome);
        QFETCH(QString, expected);
        QTemporaryDir tmp;
        const QDir root(tmp.path());
        for (const char* dir : {"bin", "usr/bin", "bench", "home"})
            QVERIFY(root.mkpath(QLatin1String(dir)));
        const QString beside = root.filePath("bin/config.ini");
        QVERIFY(writeIniValue(S, K, "OLD", beside));

        Places places;
        places.programDir = root.filePath("bin");
        places.installBinDir = root.filePath(installed ? "bin" : "usr/bin");
        places.configOption = option.isEmpty() ? QString() : root.filePath(option);
        places.xdgConfigHome = xdgConfigHome.startsWith(QLatin1Char('@'))
                                   ? root.filePath(xdgConfigHome.mid(1))
                                   : xdgConfigHome;
        places.home = root.filePath("home");
        const ConfigLocation where = configLocation(places);
        QCOMPARE(where.path, root.filePath(expected));

        // Read-only for its owner too, though root may still write there.
        if (installed)
            QVERIFY(QFile::setPermissions(places.programDir, QFile::ReadOwner | QFile::ExeOwner));
        const IniWriteResult saved = writeConfigValue(where, S, K, "COM7");
        QFile::setPermissions(places.programDir,
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY2(saved, qPrintable(saved.error));
        QCOMPARE(readIniValue(S, K, where.path), "COM7");
        // Any other file beside the program is left alone.
        QCOMPARE(readIniValue(S, K, beside), QLatin1String(where.path == beside ? "COM7" : "OLD"));
        // A folder made for the settings is its user's alone, and so is the file.
        if (where.createFolder)
            for (const QString& made : {QFileInfo(where.path).path(), where.path})
                QCOMPARE((QFileInfo(made).permissions() & 0x0077).toInt(), 0);
    }

    void documentFoldersInOrder() {
        Places places;
        places.programDir = QStringLiteral("/opt/orv/bin");
        places.installDataDir = QStringLiteral("/usr/share");
        places.home = QStringLiteral("/home/op");
        QCOMPARE(documentFolders(places),
                 (QStringList{places.programDir, "/home/op/.local/share/orv-test",
                              QStringLiteral("/usr/share/orv-test")}));
    }
};

QTEST_APPLESS_MAIN(TestLocations)
#include "tst_locations.moc"
