#pragma once

// The program's command line, read before anything of the GUI exists, so
// that --help and --version need no display. Qt's own options (-platform,
// -display, -style, -session, …) are accepted in every mode and left for Qt.

#include "service_settings.h"

#include <QString>
#include <QStringList>
#include <optional>

struct StartOptions {
    enum class Action { Run, Help, Version, Fail };
    Action action = Action::Run;
    // --use-saved: the start-up question is not asked; the saved pairs are
    // loaded and the refresh starts, as on Yes.
    bool useSaved = false;
    // --headless: no window and no display; messages go to stderr. Implies
    // useSaved.
    bool headless = false;
    // --listen ADDRESS[:PORT] and --allow HOST|ADDRESS[/PREFIX], each as often
    // as given; empty: the settings file's, or the defaults.
    QStringList listen;
    QStringList allow;
    // For Help the help text, for Version the version line, for Fail the one
    // line that says what is wrong.
    QString text;

    // --listen and --allow as the service takes them.
    ServiceOptions Where() const;
};

// `arguments` as main() received them, the program's path first. The
// headless service's own program runs headless whether asked or not.
StartOptions ParseCommandLine(const QStringList& arguments, bool alwaysHeadless = false);

// For Help and Version prints the text on stdout, for Fail the line on
// stderr, and returns the exit status (0, or 2 for Fail); nothing for Run.
std::optional<int> Reply(const StartOptions& options);

// main()'s arguments as text.
QStringList ArgumentList(int argc, char** argv);
