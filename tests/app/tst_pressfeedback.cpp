// Buttons light red when a mouse button presses them and go back to the
// button face on the next tick of the feedback timer.
#include "app/commandbutton.h"
#include "support/testbench.h"

#include <QAction>
#include <QSignalSpy>

namespace {

CommandButton* button(MainWindow* w, const char* name, int index = -1) {
    for (CommandButton* b : w->findChildren<CommandButton*>(QLatin1String(name)))
        if (index < 0 || b->property("Index").toInt() == index)
            return b;
    return nullptr;
}

// The colour really drawn on the button's face, off its caption.
QColor drawn(QWidget* w) {
    return w->grab().toImage().pixelColor(10, 10);
}

bool looksRed(const QColor& c) {
    return c == QColor(255, 0, 0);
}

} // namespace

class TestPressFeedback : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void pressTurnsRedUntilTheNextTick() {
        TestBench bench;
        MainWindow* w = bench.start();
        auto* timer = child<QTimer>(w, "tmrKeyPress");
        QCOMPARE(timer->interval(), 250);
        QVERIFY(!timer->isActive());
        CommandButton* key = button(w, "cmdKeyPress", 4);
        QVERIFY(!looksRed(drawn(key)));

        QTest::mousePress(key, Qt::LeftButton);
        QCOMPARE(key->backColor(), QColor(255, 0, 0));
        QVERIFY2(looksRed(drawn(key)), qPrintable(drawn(key).name()));
        QVERIFY(timer->isActive());
        // Held longer than a tick: back to the face while still held.
        QSignalSpy ticks(timer, &QTimer::timeout);
        QVERIFY(ticks.wait(2000));
        QCOMPARE(key->backColor(), CommandButton::buttonFace());
        QVERIFY(!looksRed(drawn(key)));
        QTest::mouseRelease(key, Qt::LeftButton);
        QCOMPARE(bench.device.read(5), QByteArray("\x0B\x02\x02\x50\x5F", 5));
        // It keeps ticking with nothing red.
        QVERIFY(ticks.wait(2000));
        QVERIFY(timer->isActive());
    }

    void everyDeviceAndMonitorButtonHasFeedbackButSaveAndCancelNot() {
        TestBench bench;
        MainWindow* w = bench.start();
        w->findChild<QAction*>(QStringLiteral("mnuSettings"))->trigger();
        QList<CommandButton*> lit;
        for (int i = 0; i < 12; ++i)
            lit << button(w, "cmdKeyPress", i);
        lit << button(w, "cmdCommTest") << button(w, "cmdReset") << button(w, "cmdClearComm");
        // Presses in a row, any mouse button, all stay red until the same tick.
        for (int i = 0; i < lit.size(); ++i)
            QTest::mousePress(lit[i], i % 2 ? Qt::RightButton : Qt::MiddleButton);
        for (CommandButton* b : lit)
            QCOMPARE(b->backColor(), QColor(Qt::red));
        QSignalSpy ticks(child<QTimer>(w, "tmrKeyPress"), &QTimer::timeout);
        QVERIFY(ticks.wait(2000));
        for (CommandButton* b : lit)
            QCOMPARE(b->backColor(), CommandButton::buttonFace());
        for (const char* name : {"cmdSaveSettings", "cmdCancelSettings"}) {
            CommandButton* b = button(w, name);
            QTest::mousePress(b, Qt::RightButton);
            QCOMPARE(b->backColor(), CommandButton::buttonFace());
            QVERIFY(!looksRed(drawn(b)));
        }
        // Right and middle presses send nothing.
        QCOMPARE(bench.device.read(1, 100), QByteArray());
    }

    void keyboardSendsWithoutRedAndAPressReleasedElsewhereSendsNothing() {
        TestBench bench;
        MainWindow* w = bench.start();
        CommandButton* key = button(w, "cmdKeyPress", 0);
        key->setFocus();
        QTest::keyClick(key, Qt::Key_Space);
        QCOMPARE(bench.device.read(5), QByteArray("\x0B\x00\x02\x50\x5D", 5));
        QCOMPARE(key->backColor(), CommandButton::buttonFace());
        QVERIFY(!child<QTimer>(w, "tmrKeyPress")->isActive());

        QTest::mousePress(key, Qt::LeftButton);
        QCOMPARE(key->backColor(), QColor(Qt::red));
        QTest::mouseMove(key, QPoint(-40, -40));
        QTest::mouseRelease(key, Qt::LeftButton, {}, QPoint(-40, -40));
        QCOMPARE(bench.device.read(1, 100), QByteArray());
        QTRY_COMPARE(key->backColor(), CommandButton::buttonFace());
    }
};

QTEST_MAIN(TestPressFeedback)
#include "tst_pressfeedback.moc"
