#include "service_manager.h"

// A program started at logon has no service manager to tell.
void TellServiceManagerReady() {}
