#include "headless.h"

#include "stop_requests.h"

#include <QCoreApplication>

bool StartHeadlessService(ReportService& service) {
    const auto& log = service.monitor().Environment().log;
    service.monitor().StartUp();
    if (!service.ReadSettings()) {
        if (log) log(service.SettingsProblem());
        return false;
    }
    bool cannotListen = false;
    const auto watch =
        QObject::connect(&service, &ReportService::ListenFailed,
                         [&](const QString&, bool lasting) { cannotListen = lasting; });
    service.Listen();
    QObject::disconnect(watch);
    service.LoadPairs();
    return !cannotListen;
}

int RunHeadless(int argc, char** argv, const StartOptions& options) {
    // Qt's own event dispatcher: GLib's wakes itself several times per
    // socket event.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(korvid::kAppTitle));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(korvid::kVersionText));
    ReportService service(SystemEnvironment(), {options.Where(), true});
    const StopRequests requests([] { QCoreApplication::exit(0); },
                                [&service] { service.Reload(); });
    if (!StartHeadlessService(service)) return 2;
    TellServiceManagerReady();
    return QCoreApplication::exec();
}
