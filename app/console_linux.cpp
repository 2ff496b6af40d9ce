#include "console.h"

void UseParentConsole() {}
