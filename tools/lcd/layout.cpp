#include "layout.h"

#include <array>

namespace lcd {

namespace {

constexpr std::array<std::string_view, 13> kFields = {
    "MBoTe", "CPUTe", "MBoFa",      "CPUFa",  "Core0",    "3.3-V", "+5Vol",
    "+12Vo", "CPUSp", "CPULoading", "CPUDes", "CompName", "NAME"};

// "Drive C:", the drive part of a field; nothing for anything else.
bool IsDrive(std::string_view name) {
    return name.size() == 8 && name.substr(0, 6) == "Drive " && name[6] >= 'A' && name[6] <= 'Z' &&
           name[7] == ':';
}

std::optional<Piece> FieldPiece(std::string_view inside) {
    Piece piece;
    if (IsDrive(inside.substr(0, 8))) {
        const std::string_view part = inside.substr(8);
        if (part.empty())
            piece.part = Piece::Part::Whole;
        else if (part == ".size")
            piece.part = Piece::Part::Size;
        else if (part == ".free")
            piece.part = Piece::Part::Free;
        else
            return std::nullopt;
        piece.field = std::string(inside.substr(0, 8));
        return piece;
    }
    for (const std::string_view field : kFields)
        if (inside == field) {
            piece.field = std::string(field);
            return piece;
        }
    return std::nullopt;
}

std::string Shown(std::string_view value) {
    std::string shown(value);
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return shown;
}

} // namespace

std::optional<Layout> ParseLayout(const std::vector<std::string>& lines, std::string* error) {
    Layout layout;
    for (std::size_t number = 0; number < lines.size(); ++number) {
        const std::string& line = lines[number];
        LayoutLine parsed;
        std::string text;
        auto fail = [&](std::size_t column, const std::string& why) -> std::optional<Layout> {
            if (error)
                *error = "line " + std::to_string(number + 1) + ", column " +
                         std::to_string(column + 1) + ": " + why;
            return std::nullopt;
        };
        for (std::size_t i = 0; i < line.size(); ++i) {
            if ((line[i] == '{' || line[i] == '}') && i + 1 < line.size() &&
                line[i + 1] == line[i]) {
                text += line[i++];
                continue;
            }
            if (line[i] == '}') return fail(i, "a '}' that closes no field (write }} for one)");
            if (line[i] != '{') {
                text += line[i];
                continue;
            }
            const auto close = line.find('}', i);
            if (close == std::string::npos) return fail(i, "a '{' that no '}' closes");
            const std::string_view inside = std::string_view(line).substr(i + 1, close - i - 1);
            auto piece = FieldPiece(inside);
            if (!piece) return fail(i, "unknown field {" + std::string(inside) + "}");
            piece->text = std::exchange(text, {});
            parsed.push_back(std::move(*piece));
            i = close;
        }
        if (!text.empty()) parsed.push_back({std::move(text), {}, Piece::Part::Whole});
        layout.lines.push_back(std::move(parsed));
    }
    return layout;
}

std::vector<std::string> DefaultLayoutLines(int width, int height) {
    // A unit stands apart from its figure: a reading that is "NA" would run
    // into it.
    const bool wide = width >= 20;
    if (height < 3)
        return {"{NAME} {CPULoading}%",
                wide ? "CPU {CPUTe} C MB {MBoTe} C" : "CPU {CPUTe} MB {MBoTe}"};
    std::vector<std::string> lines = {
        "{NAME}",
        "CPU {CPUTe} C  {CPULoading}%",
        wide ? "MB {MBoTe} C  Fan {CPUFa}" : "MB {MBoTe} F {CPUFa}",
        wide ? "C: {Drive C:.free} GB free" : "C: {Drive C:.free} GB",
    };
    lines.resize(static_cast<std::size_t>(std::min(height, 4)));
    return lines;
}

std::vector<std::string> Render(const Layout& layout, const Report& report, std::string_view name) {
    std::vector<std::string> rendered;
    for (const LayoutLine& line : layout.lines) {
        std::string text;
        for (const Piece& piece : line) {
            text += piece.text;
            if (piece.field.empty()) continue;
            if (piece.field == "NAME") {
                text += Shown(name);
                continue;
            }
            const auto value = Find(report, piece.field);
            if (!value) {
                text += "--";
                continue;
            }
            // A drive's value: the size, a comma, the free space.
            std::string_view part = *value;
            const auto comma = part.find(',');
            if (piece.part == Piece::Part::Size) part = part.substr(0, comma);
            if (piece.part == Piece::Part::Free)
                part =
                    comma == std::string_view::npos ? std::string_view() : part.substr(comma + 1);
            text += Shown(part);
        }
        rendered.push_back(std::move(text));
    }
    return rendered;
}

} // namespace lcd
