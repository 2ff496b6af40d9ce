#include "frmMonitor.h"
#include "icons.h"
#include "korvid_version.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(korvid::kAppTitle));
    QApplication::setApplicationVersion(QString::fromLatin1(korvid::kVersionText));
    QApplication::setWindowIcon(ProgramIcon());

    frmMonitor window;
    window.Form_Load();
    window.show();
    return app.exec();
}
