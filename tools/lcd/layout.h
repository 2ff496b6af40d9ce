#pragma once

// What a display's screen shows for one PC: lines of text with fields in
// braces, "CPU {CPUTe}C {CPULoading}%". A field is a key of the report (the
// nine parameters' five letters, CPULoading, CPUDes, CompName), a drive's
// figures ("{Drive C:.size}", "{Drive C:.free}", or "{Drive C:}" for both as
// sent), or {NAME}, the PC's name as the configuration gives it. "{{" and
// "}}" stand for braces. Plain C++.

#include "display_report.h"

#include <optional>
#include <string>
#include <vector>

namespace lcd {

struct Piece {
    std::string text;  // shown as it stands
    std::string field; // or a field's value; empty: none
    enum class Part { Whole, Size, Free } part = Part::Whole;
};
using LayoutLine = std::vector<Piece>;

struct Layout {
    std::vector<LayoutLine> lines;
};

// The lines' layout; nothing, with `error` saying where ("line 2, column 7:
// unknown field {CPUTemp}"), for an unknown field or an unclosed brace.
std::optional<Layout> ParseLayout(const std::vector<std::string>& lines, std::string* error);

// The built-in layout for a display of `width` × `height` characters: the
// PC's name, the CPU's temperature and load, the board's temperature and the
// CPU fan, and drive C:'s free space, as many as the lines allow.
std::vector<std::string> DefaultLayoutLines(int width, int height);

// The lines as `report` fills them, not cut to any width; a field that the
// report lacks shows "--", and a byte no display shows (a control character)
// shows "?".
std::vector<std::string> Render(const Layout& layout, const Report& report, std::string_view name);

} // namespace lcd
