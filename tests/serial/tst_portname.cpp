#include "serial/portname.h"

#include <QTest>

class TestPortName : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void valuesThatNamePorts_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("path");
        QTest::newRow("first port") << "1"
                                    << "/dev/ttyS0";
        QTest::newRow("last port") << "255"
                                   << "/dev/ttyS254";
        QTest::newRow("blanks around") << " 4 "
                                       << "/dev/ttyS3";
        QTest::newRow("path") << "/dev/serial/by-id/usb-x-if00"
                              << "/dev/serial/by-id/usb-x-if00";
        QTest::newRow("bare name") << "ttyUSB0"
                                   << "/dev/ttyUSB0";
    }
    void valuesThatNamePorts() {
        QFETCH(QString, value);
        QFETCH(QString, path);
        const PortName name = resolvePortName(value);
        QVERIFY2(name.isValid(), qPrintable(name.error));
        QCOMPARE(name.path, path);
    }

    void invalidValuesAreClearErrorsNamingTheValue_data() {
        QTest::addColumn<QString>("value");
        for (const char* v : {"", "abc", "0", "256", "3.5", "-1", "COM3", "65536", "99999999999"})
            QTest::newRow(v) << QString::fromLatin1(v);
    }
    void invalidValuesAreClearErrorsNamingTheValue() {
        QFETCH(QString, value);
        const PortName name = resolvePortName(value);
        QVERIFY(!name.isValid() && name.path.isEmpty());
        QVERIFY2(name.error.contains(QLatin1Char('"') + value + QLatin1Char('"')),
                 qPrintable(name.error));
    }
};

QTEST_GUILESS_MAIN(TestPortName)
#include "tst_portname.moc"
