#pragma once

#include <string>

// The computer's network name as the operating system reports it, whole;
// empty when it cannot be had.
std::string ComputerName();
