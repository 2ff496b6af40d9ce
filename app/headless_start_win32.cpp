#include "headless.h"

// One program on Windows: the service runs in it, without creating any GUI
// object.
int StartHeadless(int argc, char** argv, const StartOptions& options) {
    return RunHeadless(argc, argv, options);
}
