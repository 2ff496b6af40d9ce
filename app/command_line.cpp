#include "command_line.h"

#include "korvid_version.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace {

// What --version prints and the About box shows: the first, second and
// fourth parts of the four-part version.
QString VersionLine() {
    return QStringLiteral("%1 %2.%3.%4")
        .arg(QString::fromLatin1(korvid::kAppTitle))
        .arg(korvid::kVersionMajor)
        .arg(korvid::kVersionMinor)
        .arg(korvid::kVersionRevision);
}

} // namespace

StartOptions ParseCommandLine(const QStringList& arguments) {
    const QString program =
        arguments.isEmpty() ? QStringLiteral("korvid-halvane") : QFileInfo(arguments[0]).fileName();
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Publishes this PC's sensor readings, CPU load, CPU name, computer name\n"
                       "and fixed drives to LCD display programs on TCP port 9001."));
    const QCommandLineOption help({"h", "help"}, QStringLiteral("Show this text and exit."));
    const QCommandLineOption version({"v", "version"},
                                     QStringLiteral("Show the program's version and exit."));
    const QCommandLineOption useSaved(
        "use-saved", QStringLiteral("Do not ask whether to use the saved sensor pairs: load them "
                                    "and start the refresh (for starting at login)."));
    const QCommandLineOption headless(
        "headless", QStringLiteral("Run without a window and without a display, serving reports "
                                   "from the saved pairs (implies --use-saved); messages go to "
                                   "stderr. SIGTERM or SIGINT ends it."));
    parser.addOptions({help, version, useSaved, headless});

    StartOptions options;
    auto fail = [&](const QString& what) {
        options.action = StartOptions::Action::Fail;
        options.text = program + ": " + what + "; see " + program + " --help";
        return options;
    };
    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (unknown.isEmpty()) return fail(parser.errorText());
        const QString& name = unknown.first();
        return fail(
            QStringLiteral("unknown option '%1%2'").arg(name.size() > 1 ? "--" : "-", name));
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
        options.text = VersionLine() + '\n';
        return options;
    }
    options.headless = parser.isSet(headless);
    options.useSaved = options.headless || parser.isSet(useSaved);
    return options;
}
