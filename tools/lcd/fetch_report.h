#pragma once

// One exchange with a PC's report service, the way a display makes it
// (POSIX): connect, take the greeting, send a request line, read the
// report to its end; all of it within 2 s.

#include "display_report.h"
#include "lcd_settings.h"

#include <optional>
#include <string>

namespace lcd {

// The report; nothing, with the reason, when the PC does not answer, is
// slower than 2 s, or answers with what is no report.
std::optional<Report> FetchReport(const Address& address, std::string* why);

} // namespace lcd
