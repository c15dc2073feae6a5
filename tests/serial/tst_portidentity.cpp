// A retry after a loss must never open a stranger's device that took over
// the lost one's name.
#include "serial/portidentity.h"
#include "support/pty.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestPortIdentity : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lostPseudoTerminalIsNeverReopenedByItsNumber() {
        PtyPair pty;
        const PortIdentity opened = PortIdentity::of(pty.slavePath());
        QVERIFY(opened.pseudoTerminal && !opened.viaLink);
        QVERIFY(!reopenCanBecomeSafe(opened));
        QVERIFY(!reopenIsSafe(opened, pty.slavePath()));
    }

    void linkToAPseudoTerminalIsFollowedOnlyOnceMadeAnew() {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("device"));
        const QString fresh = dir.filePath(QStringLiteral("device.new"));
        PtyPair first, second;
        QVERIFY(QFile::link(first.slavePath(), link));
        const PortIdentity opened = PortIdentity::of(link);
        QVERIFY(opened.pseudoTerminal && opened.viaLink);
        QVERIFY(reopenCanBecomeSafe(opened));
        // The same, stale link: whatever terminal now has that number is not ours.
        QVERIFY(!reopenIsSafe(opened, link));
        // Made while the old one still stands, the new link is another file,
        // however close in time the two were made.
        QVERIFY(QFile::link(second.slavePath(), fresh));
        QVERIFY(QFile::remove(link));
        QVERIFY(!reopenIsSafe(opened, link));
        QVERIFY(QFile::rename(fresh, link));
        QVERIFY(reopenIsSafe(opened, link));
    }

    void realPortsAreAlwaysRetried() {
        const PortIdentity opened = PortIdentity::of(QStringLiteral("/dev/null"));
        QVERIFY(!opened.pseudoTerminal);
        QVERIFY(reopenIsSafe(opened, QStringLiteral("/dev/null")));
    }
};

QTEST_GUILESS_MAIN(TestPortIdentity)
#include "tst_portidentity.moc"
