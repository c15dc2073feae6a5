#include "cli/commandline.h"

#include "filetext/visibletext.h"

#include <QCommandLineParser>
#include <QHash>
#include <QSet>
#include <cstdlib>

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

// A port name is text for the serial layer: one that is not UTF-8 (a link
// made by hand) is taken as the device it leads to, whose name is.
std::optional<QString> portName(const QByteArray& bytes, QString* why) {
    if (isUtf8(bytes))
        return QString::fromUtf8(bytes);
    char* real = ::realpath(bytes.constData(), nullptr);
    const QByteArray device = real ? QByteArray(real) : QByteArray();
    std::free(real);
    if (!device.isEmpty() && isUtf8(device))
        return QString::fromUtf8(device);
    *why = QStringLiteral("--port %1: the name is not UTF-8 and leads to no device whose name is")
               .arg(terminalText(bytes));
    return std::nullopt;
}

// The options as typed, in order: "-hv" stays "-hv", "-platform" stays
// "-platform". Pairs of (name without dashes, as typed).
QList<std::pair<QString, QString>> typedOptions(const QStringList& args,
                                                const QList<QCommandLineOption>& options) {
    QSet<QString> takesValue;
    for (const QCommandLineOption& o : options)
        if (!o.valueName().isEmpty())
            for (const QString& name : o.names())
                takesValue.insert(name);
    QList<std::pair<QString, QString>> typed;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--"))
            break;
        if (!arg.startsWith(QLatin1Char('-')) || arg.size() < 2)
            continue;
        const QString written = arg.section(QLatin1Char('='), 0, 0);
        QString name = written.mid(written.startsWith(QLatin1String("--")) ? 2 : 1);
        typed.append({name, textOf(written)});
        if (takesValue.contains(name) && !arg.contains(QLatin1Char('=')))
            ++i;
    }
    return typed;
}

CommandLine failed(const QString& why) {
    CommandLine c;
    c.action = CommandLine::Action::Error;
    c.error = terminalSafe(why);
    return c;
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
    const QList<std::pair<QString, QString>> typed = typedOptions(args, options);
    auto asTyped = [&typed](const QString& name, int occurrence = 1) {
        for (const auto& [n, written] : typed)
            if (n == name && --occurrence == 0)
                return written;
        return QStringLiteral("--") + textOf(name);
    };
    if (!parser.parse(args)) {
        if (!parser.unknownOptionNames().isEmpty())
            return failed(QStringLiteral("unknown option '%1'")
                              .arg(asTyped(parser.unknownOptionNames().first())));
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
    for (const auto& [name, written] : typed)
        if (canonical.contains(name) && ++seen[canonical.value(name)] == 2)
            return failed(QStringLiteral("%1 given more than once").arg(written));

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
            return failed(QStringLiteral("%1 needs a value").arg(asTyped(o->names().first())));
    c.config = bytesOf(parser.value(config));
    // Without --run, --port is the window's port for this session.
    if (parser.isSet(port)) {
        QString why;
        c.port = portName(bytesOf(parser.value(port)), &why);
        if (!c.port)
            return failed(why);
    }
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
