#include "command_line.h"
#include "console.h"
#include "frmMonitor.h"
#include "icons.h"
#include "korvid_version.h"
#include "stop_requests.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const StartOptions options = ParseCommandLine(arguments);
    if (options.action != StartOptions::Action::Run || options.headless) UseParentConsole();
    switch (options.action) {
    case StartOptions::Action::Help:
    case StartOptions::Action::Version:
        std::fputs(options.text.toLocal8Bit().constData(), stdout);
        return 0;
    case StartOptions::Action::Fail:
        std::fprintf(stderr, "%s\n", options.text.toLocal8Bit().constData());
        return 2;
    case StartOptions::Action::Run:
        break;
    }

    // Qt's own event dispatcher: nothing here needs GLib's, which costs a
    // few wake-ups of its own on every socket event.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
    if (options.headless) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(korvid::kAppTitle));
    QApplication::setApplicationVersion(QString::fromLatin1(korvid::kVersionText));
    QApplication::setWindowIcon(ProgramIcon());

    MonitorEnvironment env = SystemEnvironment();
    env.useSavedPairs = options.useSaved;
    if (options.headless) env.messages = std::make_shared<ConsoleMessages>();
    frmMonitor window(std::move(env));
    // Closing the window stops its refresh and its service.
    const StopRequests stop([&window] {
        window.close();
        QApplication::quit();
    });
    window.Form_Load();
    if (!options.headless) window.show();
    return app.exec();
}
