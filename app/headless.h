#pragma once

// The headless face of the report service, for a box beside the display:
// the same service as the window's, on Qt Core alone (no window, no display,
// no GUI library). It tells what it does on standard error, one line each
// (the journal keeps them), reads its settings again on SIGHUP, and ends on
// SIGTERM or SIGINT with status 0.
//
// Nobody watches its readings between reports, so it reads them when a
// display asks, unless they are younger than the refresh interval. Idle, it
// wakes only to look at the sensor block now and then, to tell a publisher
// that stopped.

#include "command_line.h"
#include "report_service.h"

// The headless face's start-up: the window's steps in the window's order,
// with the saved pairs instead of the question. False when the settings
// cannot be told or the port is one that waiting will not give; the log
// says why.
bool StartHeadlessService(ReportService& service);

// Runs the service in this process until a stop request; returns the exit
// status: 2 when its settings cannot be told or its port may not be had.
int RunHeadless(int argc, char** argv, const StartOptions& options);

// Starts the service as --headless asks, in the program that has no GUI
// library: on Linux by replacing this process with it (headless_start_linux),
// on Windows in this process. Returns only to give the exit status.
int StartHeadless(int argc, char** argv, const StartOptions& options);
