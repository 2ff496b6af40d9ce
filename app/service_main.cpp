// korvid-halvaned: the headless report service, which `korvid-halvane
// --headless` starts. It links Qt Core only.
#include "command_line.h"
#include "headless.h"
#include "stop_requests.h"

int main(int argc, char* argv[]) {
    HoldStopRequests();
    const StartOptions options = ParseCommandLine(ArgumentList(argc, argv), true);
    if (const auto status = Reply(options)) return *status;
    return RunHeadless(argc, argv, options);
}
