// Buttons light red when a mouse button presses them and go back to the
// button face on the next tick of the feedback timer.
#include "app/commandbutton.h"
#include "support/testbench.h"

#include <QSignalSpy>

namespace {

// The colour really drawn on the button's face, off its caption.
QColor drawn(QWidget* w) {
    return w->grab().toImage().pixelColor(10, 10);
}

} // namespace

class TestPressFeedback : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void anyMousePressLightsRedUntilTheNextTickAndOnlyALeftClickSends() {
        TestBench bench;
        MainWindow* w = bench.start();
        auto* one = static_cast<CommandButton*>(key(w, "1"));
        auto* five = static_cast<CommandButton*>(key(w, "5"));
        // The keyboard sends without lighting.
        one->setFocus();
        QTest::keyClick(one, Qt::Key_Space);
        QCOMPARE(bench.device.read(5), QByteArray::fromHex("0B0002505D"));
        QCOMPARE(one->backColor(), CommandButton::buttonFace());
        // Every other button pressed with the right or middle button, last 5 with the left.
        QList<CommandButton*> lit;
        for (CommandButton* b : w->findChildren<CommandButton*>())
            if (b != five && b != one && !b->objectName().endsWith("Settings"))
                lit << b;
        lit << five;
        const auto button = [&lit](int i) {
            if (i == lit.size() - 1)
                return Qt::LeftButton;
            return i % 2 ? Qt::RightButton : Qt::MiddleButton;
        };
        const QColor red(255, 0, 0);
        for (int i = 0; i < lit.size(); ++i)
            QTest::mousePress(lit[i], button(i));
        for (CommandButton* b : lit)
            QCOMPARE(b->backColor(), red);
        QCOMPARE(drawn(five), red);
        // Held past a tick: back to the face while still held.
        QSignalSpy ticks(child<QTimer>(w, "tmrKeyPress"), &QTimer::timeout);
        QVERIFY(ticks.wait(2000));
        for (CommandButton* b : lit)
            QCOMPARE(b->backColor(), CommandButton::buttonFace());
        QVERIFY(drawn(five) != red);
        // Only the left button sends, on release over the button: 1 is released elsewhere.
        for (int i = lit.size() - 1; i >= 0; --i)
            QTest::mouseRelease(lit[i], button(i));
        QTest::mousePress(one, Qt::LeftButton);
        QCOMPARE(one->backColor(), red);
        QTest::mouseMove(one, QPoint(-40, -40));
        QTest::mouseRelease(one, Qt::LeftButton, {}, QPoint(-40, -40));
        click(w, "cmdReset");
        QCOMPARE(bench.device.read(8), QByteArray::fromHex("0B0202505F0B0611"));
        QTRY_COMPARE(one->backColor(), CommandButton::buttonFace());
        // Save and Cancel have none.
        trigger(w, "mnuSettings");
        for (const char* name : {"cmdSaveSettings", "cmdCancelSettings"}) {
            QTest::mousePress(child<CommandButton>(w, name), Qt::LeftButton);
            QCOMPARE(child<CommandButton>(w, name)->backColor(), CommandButton::buttonFace());
        }
    }
};

QTEST_MAIN(TestPressFeedback)
#include "tst_pressfeedback.moc"
