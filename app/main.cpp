#include "frmMonitor.h"
#include "icons.h"
#include "korvid_version.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    // Qt's own event dispatcher: nothing here needs GLib's, which costs a
    // few wake-ups of its own on every socket event.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(korvid::kAppTitle));
    QApplication::setApplicationVersion(QString::fromLatin1(korvid::kVersionText));
    QApplication::setWindowIcon(ProgramIcon());

    frmMonitor window;
    window.Form_Load();
    window.show();
    return app.exec();
}
