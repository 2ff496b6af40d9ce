#pragma once

// The program's command line, read before anything of the GUI exists, so
// that --help and --version need no display.

#include <QString>
#include <QStringList>

struct StartOptions {
    enum class Action { Run, Help, Version, Fail };
    Action action = Action::Run;
    // --use-saved: the start-up question is not asked; the saved pairs are
    // loaded and the refresh starts, as on Yes.
    bool useSaved = false;
    // --headless: no window and no display; messages go to stderr. Implies
    // useSaved.
    bool headless = false;
    // For Help the help text, for Version the version line, for Fail the one
    // line that says what is wrong.
    QString text;
};

// `arguments` as main() received them, the program's path first.
StartOptions ParseCommandLine(const QStringList& arguments);
