#include "command_line.h"

#include "korvid_facts.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <cstdio>

namespace {

// What --version prints: the program's four-part version.
QString VersionLine() {
    return QStringLiteral("%1 %2\n").arg(QString::fromLatin1(korvid::kAppTitle),
                                         QString::fromLatin1(korvid::kVersionText));
}

// Qt's standard options for every GUI program (QGuiApplication, QApplication
// and the X11 platform), which the window's QApplication takes off the
// command line itself. Listed so that they are accepted, not shown.
void AcceptQtOptions(QCommandLineParser& parser) {
    const char* const withValue[] = {
        "platform",     "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
        "qwindowicon",  "qwindowtitle",       "session",       "style",  "stylesheet",
        "display",      "geometry",           "title",         "name",   "visual",
        "qmljsdebugger"};
    const char* const flags[] = {"reverse", "widgetcount", "nograb",
                                 "dograb",  "sync",        "testability"};
    for (const char* name : withValue) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* name : flags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

} // namespace

ServiceOptions StartOptions::Where() const {
    ServiceOptions where;
    for (const QString& value : listen)
        where.listen.push_back(value.toLocal8Bit().toStdString());
    for (const QString& value : allow)
        where.allow.push_back(value.toLocal8Bit().toStdString());
    return where;
}

std::optional<int> Reply(const StartOptions& options) {
    switch (options.action) {
    case StartOptions::Action::Run:
        break;
    case StartOptions::Action::Help:
    case StartOptions::Action::Version:
        std::fputs(options.text.toLocal8Bit().constData(), stdout);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    case StartOptions::Action::Fail:
        std::fprintf(stderr, "%s\n", options.text.toLocal8Bit().constData());
        return 2;
    }
    return std::nullopt;
}

QStringList ArgumentList(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

StartOptions ParseCommandLine(const QStringList& arguments, bool alwaysHeadless) {
    const QString program =
        arguments.isEmpty() ? QStringLiteral("korvid-halvane") : QFileInfo(arguments[0]).fileName();
    QCommandLineParser parser;
    // Qt's options are words after one dash ("-platform"), so ours are too.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("Publishes this PC's sensor readings, CPU load, CPU name, computer name\n"
                       "and fixed drives to LCD display programs on TCP port %1.\n"
                       "Qt's standard options (-platform, -display, -style, ...) are accepted.")
            .arg(korvid::kPort));
    const QCommandLineOption help({"h", "help"}, QStringLiteral("Show this text and exit."));
    const QCommandLineOption version({"v", "version"},
                                     QStringLiteral("Show the program's version and exit."));
    const QCommandLineOption useSaved(
        "use-saved", QStringLiteral("Do not ask whether to use the saved sensor pairs: load them "
                                    "and start the refresh (for starting at login)."));
    const QCommandLineOption headless(
        "headless", QStringLiteral("Run without a window and without a display, serving reports "
                                   "from the saved pairs (implies --use-saved); messages go to "
                                   "stderr. SIGHUP reads the pairs again; SIGTERM or SIGINT "
                                   "ends it."));
    const QCommandLineOption listen(
        "listen",
        QStringLiteral("Listen for displays on ADDRESS only, and on PORT (default %1); "
                       "IPv6 in brackets ([::1]:%1), * for every address. Repeatable; the "
                       "default is every IPv4 and IPv6 address. Overrides Listen= in the "
                       "settings file.")
            .arg(korvid::kPort),
        QStringLiteral("ADDRESS[:PORT]"));
    const QCommandLineOption allow(
        "allow",
        QStringLiteral("Answer only displays at HOST, at ADDRESS, or in ADDRESS/PREFIX; others "
                       "are closed at once. Repeatable; the default is every display. "
                       "Overrides Allow= in the settings file."),
        QStringLiteral("HOST|ADDRESS[/PREFIX]"));
    parser.addOptions({help, version, useSaved, headless, listen, allow});
    AcceptQtOptions(parser);

    StartOptions options;
    auto fail = [&](const QString& what) {
        options.action = StartOptions::Action::Fail;
        options.text = program + ": " + what + "; see " + program + " --help";
        return options;
    };
    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (unknown.isEmpty()) return fail(parser.errorText());
        // Named as it was written, with its dashes.
        QString written = "--" + unknown.first();
        for (const QString& argument : arguments.mid(1)) {
            const QString name = argument.section('=', 0, 0);
            if (name == "-" + unknown.first() || name == "--" + unknown.first()) {
                written = name;
                break;
            }
        }
        return fail(QStringLiteral("unknown option '%1'").arg(written));
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments()[0]));
    if (parser.isSet(help)) {
        options.action = StartOptions::Action::Help;
        options.text = parser.helpText().replace(QStringLiteral("<executable_name>"), program);
        return options;
    }
    if (parser.isSet(version)) {
        options.action = StartOptions::Action::Version;
        options.text = VersionLine();
        return options;
    }
    options.headless = alwaysHeadless || parser.isSet(headless);
    options.listen = parser.values(listen);
    options.allow = parser.values(allow);
    options.useSaved = options.headless || parser.isSet(useSaved);
    return options;
}
