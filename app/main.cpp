// korvid-halvane: the window, or with --headless the report service alone.
#include "command_line.h"
#include "console.h"
#include "frmMonitor.h"
#include "headless.h"
#include "icons.h"
#include "korvid_facts.h"
#include "report_service.h"
#include "stop_requests.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

namespace {

QStringList heldMessages;

// While QApplication starts, Qt's messages are held back: when it cannot
// reach a display it says so in its own terms and aborts, and the operator
// gets one line that names the problem and the ways out instead.
void HoldMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    // Said on every start as root, where no session gives a runtime
    // directory; the window keeps nothing there.
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"))) return;
    if (type != QtFatalMsg) {
        heldMessages << qFormatLogMessage(type, context, message);
        return;
    }
    std::fprintf(stderr,
                 "korvid-halvane: cannot open a window: %s. Run it on a desktop, or with "
                 "--headless to serve reports without a window.\n",
                 WhyNoWindow().c_str());
    std::_Exit(1);
}

int RunWindow(int argc, char** argv, const StartOptions& options) {
    // Qt's own event dispatcher: nothing here needs GLib's, which costs a
    // few wake-ups of its own on every socket event.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
    const QtMessageHandler previous = qInstallMessageHandler(HoldMessage);
    QApplication app(argc, argv);
    qInstallMessageHandler(previous);
    for (const QString& message : std::exchange(heldMessages, {}))
        std::fprintf(stderr, "%s\n", qPrintable(message));
    QApplication::setApplicationName(QString::fromLatin1(korvid::kAppTitle));
    QApplication::setApplicationVersion(QString::fromLatin1(korvid::kVersionText));
    QApplication::setWindowIcon(ProgramIcon());

    ReportService service(SystemEnvironment(), {options.Where(), false});
    WindowEnvironment env = SystemWindowEnvironment();
    env.useSavedPairs = options.useSaved;
    frmMonitor window(service, std::move(env));
    // A stop request ends the program whatever is open, the start-up
    // question included: the window closes with its service, and every
    // event loop returns. SIGHUP reads the settings again.
    bool stopping = false;
    const StopRequests requests(
        [&] {
            stopping = true;
            window.Abandon();
            QApplication::exit(0);
        },
        [&window] { window.Reload(); });
    window.Form_Load();
    if (stopping) return 0;
    window.show();
    return QApplication::exec();
}

} // namespace

int main(int argc, char* argv[]) {
    HoldStopRequests();
    const StartOptions options = ParseCommandLine(ArgumentList(argc, argv));
    if (options.action != StartOptions::Action::Run || options.headless) UseParentConsole();
    if (const auto status = Reply(options)) return *status;
    if (options.headless) return StartHeadless(argc, argv, options);
    return RunWindow(argc, argv, options);
}
