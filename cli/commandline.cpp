#include "cli/commandline.h"

#include "filetext/visibletext.h"

#include <QCommandLineParser>
#include <QHash>

const char usageSynopsis[] =
    "Usage: orv-test [--port PORT] [--config FILE] [--help] [--version]\n"
    "       orv-test --run FILE [--port PORT] [--report FILE] [--config FILE]\n";

namespace {

// Qt's own options, which QApplication takes out of the arguments itself:
// accepted here so that the one parse can refuse everything else.
const char* const qtValueOptions[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin",      "qwindowgeometry",
    "geometry", "qwindowtitle",       "title",         "qwindowicon", "icon",
    "style",    "stylesheet",         "session",       "display",     "name",
    "visual",   "qmljsdebugger"};
const char* const qtFlagOptions[] = {"reverse", "widgetcount", "nograb",
                                     "dograb",  "sync",        "testability"};

// Arguments go in as Latin-1, one character a byte, so that values come back
// out as the very bytes given: a file name need not be UTF-8.
QByteArray bytesOf(const QString& latin1) {
    return latin1.toLatin1();
}

QString textOf(const QString& latin1) {
    return QString::fromLocal8Bit(latin1.toLatin1());
}

CommandLine failed(const QString& why) {
    CommandLine c;
    c.action = CommandLine::Action::Error;
    c.error = terminalSafe(why);
    return c;
}

QString dashed(const QString& name) {
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + textOf(name);
}

} // namespace

CommandLine parseCommandLine(int argc, const char* const argv[]) {
    QCommandLineParser parser;
    // -platform and -style are words, as Qt has them, not bundles of letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    const QCommandLineOption config(QStringLiteral("config"), {}, QStringLiteral("FILE"));
    const QCommandLineOption run(QStringLiteral("run"), {}, QStringLiteral("FILE"));
    const QCommandLineOption port(QStringLiteral("port"), {}, QStringLiteral("PORT"));
    const QCommandLineOption report(QStringLiteral("report"), {}, QStringLiteral("FILE"));
    QList<QCommandLineOption> options{help, version, config, run, port, report};
    for (const char* name : qtValueOptions)
        options << QCommandLineOption(QLatin1String(name), {}, QStringLiteral("VALUE"));
    for (const char* name : qtFlagOptions)
        options << QCommandLineOption(QLatin1String(name));
    parser.addOptions(options);

    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLatin1(argv[i]);
    if (!parser.parse(args)) {
        if (!parser.unknownOptionNames().isEmpty())
            return failed(QStringLiteral("unknown option '%1'")
                              .arg(dashed(parser.unknownOptionNames().first())));
        QString why = textOf(parser.errorText());
        why[0] = why[0].toLower();
        return failed(why.endsWith(QLatin1Char('.')) ? why.chopped(1) : why);
    }
    if (!parser.positionalArguments().isEmpty())
        return failed(QStringLiteral("unexpected argument '%1'")
                          .arg(textOf(parser.positionalArguments().first())));

    // An option given twice is a mistake in a script, not a choice to guess at.
    QHash<QString, QString> canonical;
    for (const QCommandLineOption& o : options)
        for (const QString& name : o.names())
            canonical.insert(name, o.names().last());
    QHash<QString, int> seen;
    for (const QString& name : parser.optionNames())
        if (++seen[canonical.value(name)] == 2)
            return failed(QStringLiteral("%1 given more than once").arg(dashed(canonical[name])));

    CommandLine c;
    if (parser.isSet(help)) {
        c.action = CommandLine::Action::Help;
        return c;
    }
    if (parser.isSet(version)) {
        c.action = CommandLine::Action::Version;
        return c;
    }
    for (const QCommandLineOption* o : {&config, &run, &port, &report})
        if (parser.isSet(*o) && parser.value(*o).isEmpty())
            return failed(QStringLiteral("%1 needs a value").arg(dashed(o->names().first())));
    c.config = bytesOf(parser.value(config));
    // Without --run, --port is the window's port for this session.
    if (parser.isSet(port))
        c.port = textOf(parser.value(port));
    if (!parser.isSet(run)) {
        if (parser.isSet(report))
            return failed(QStringLiteral("--report goes with --run FILE"));
        return c;
    }
    c.action = CommandLine::Action::Run;
    c.runFile = bytesOf(parser.value(run));
    c.report = bytesOf(parser.value(report));
    return c;
}

QString terminalSafe(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            out += visibleText(QString(c).toUtf8());
        else
            out += c;
    }
    return out;
}
