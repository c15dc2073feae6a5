#include "session/junitreport.h"

#include <QDateTime>
#include <QSaveFile>
#include <QXmlStreamWriter>

namespace {

QString seconds(double s) {
    return QString::number(s, 'f', 3);
}

} // namespace

QByteArray junitXml(const QString& suite, double totalSeconds, const QVector<JUnitCase>& cases,
                    const QString& endedEarly) {
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    int failures = 0;
    for (const JUnitCase& c : cases)
        failures += c.failure.isEmpty() ? 0 : 1;
    xml.writeStartElement(QStringLiteral("testsuite"));
    xml.writeAttribute(QStringLiteral("name"), suite);
    xml.writeAttribute(QStringLiteral("tests"), QString::number(cases.size()));
    xml.writeAttribute(QStringLiteral("failures"), QString::number(failures));
    xml.writeAttribute(QStringLiteral("errors"), QStringLiteral("0"));
    xml.writeAttribute(QStringLiteral("time"), seconds(totalSeconds));
    xml.writeAttribute(QStringLiteral("timestamp"),
                       QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    for (const JUnitCase& c : cases) {
        xml.writeStartElement(QStringLiteral("testcase"));
        xml.writeAttribute(QStringLiteral("classname"), suite);
        xml.writeAttribute(QStringLiteral("name"), c.name);
        xml.writeAttribute(QStringLiteral("time"), seconds(c.seconds));
        if (!c.failure.isEmpty()) {
            xml.writeStartElement(QStringLiteral("failure"));
            xml.writeAttribute(QStringLiteral("message"), c.failure);
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    if (!endedEarly.isEmpty())
        xml.writeTextElement(QStringLiteral("system-err"), endedEarly);
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}

QString writeJUnitReport(const QString& path, const QByteArray& xml) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return QStringLiteral("Cannot write the report %1: %2").arg(path, f.errorString());
    f.write(xml);
    if (!f.commit())
        return QStringLiteral("Cannot write the report %1: %2").arg(path, f.errorString());
    return {};
}
