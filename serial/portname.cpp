#include "serial/portname.h"

#include <QRegularExpression>

namespace {

PortName invalid(const QString& value, const QString& why) {
    return {{}, QStringLiteral("\"%1\" is not a serial port: %2").arg(value, why)};
}

} // namespace

PortName resolvePortName(const QString& value) {
    const QString v = value.trimmed();
    if (v.isEmpty())
        return invalid(value, QStringLiteral("no port is set (give a number from 1 to %1 or "
                                             "a device path such as /dev/ttyUSB0)")
                                  .arg(maxPortNumber));

    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    if (digits.match(v).hasMatch()) {
        bool ok = false;
        const int n = v.toInt(&ok);
        if (!ok || n < 1 || n > maxPortNumber)
            return invalid(value, QStringLiteral("port numbers run from 1 to %1").arg(maxPortNumber));
        return {QStringLiteral("/dev/ttyS%1").arg(n - 1), {}};
    }

    if (v.startsWith(QLatin1Char('/')))
        return {v, {}};

    static const QRegularExpression deviceName(QStringLiteral("^(tty|rfcomm)[A-Za-z0-9_]+$"));
    if (deviceName.match(v).hasMatch())
        return {QStringLiteral("/dev/") + v, {}};

    return invalid(value, QStringLiteral("give a number from 1 to %1, a device path such as "
                                         "/dev/ttyUSB0, or a device name such as ttyUSB0")
                              .arg(maxPortNumber));
}
