#include "serial/portname.h"

#include <QTest>

class TestPortName : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void values_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("path"); // empty: refused, with the value named
        const auto row = [](const char* name, const char* value, const char* path) {
            QTest::newRow(name) << QString::fromLatin1(value) << QString::fromLatin1(path);
        };
        row("first port", "1", "/dev/ttyS0");
        row("last port", "255", "/dev/ttyS254");
        row("blanks around", " 4 ", "/dev/ttyS3");
        row("path", "/dev/serial/by-id/usb-x-if00", "/dev/serial/by-id/usb-x-if00");
        row("bare name", "ttyUSB0", "/dev/ttyUSB0");
        for (const char* v : {"", "abc", "0", "256", "3.5", "-1", "COM3", "65536", "99999999999"})
            row(v, v, "");
    }
    void values() {
        QFETCH(QString, value);
        QFETCH(QString, path);
        const PortName name = resolvePortName(value);
        QVERIFY2(name.isValid() == !path.isEmpty(), qPrintable(name.error));
        QCOMPARE(name.path, path);
        if (path.isEmpty())
            QVERIFY2(name.error.contains(QLatin1Char('"') + value + QLatin1Char('"')),
                     qPrintable(name.error));
    }
};

QTEST_GUILESS_MAIN(TestPortName)
#include "tst_portname.moc"
