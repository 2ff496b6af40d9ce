#include "proc_stat.h"

#include "words.h"

#include <charconv>

namespace {

enum { kUser, kNice, kSystem, kIdle, kIowait, kIrq, kSoftirq, kSteal };

} // namespace

std::optional<CpuTimes> ParseCpuLine(std::string_view statText, std::string_view cpu) {
    while (!statText.empty()) {
        const auto eol = statText.find('\n');
        const auto words = SplitWords(statText.substr(0, eol));
        statText.remove_prefix(eol == std::string_view::npos ? statText.size() : eol + 1);
        if (words.empty() || words[0] != cpu) continue;

        CpuTimes times;
        std::size_t count = 0;
        for (; count < times.ticks.size() && count + 1 < words.size(); ++count) {
            const std::string_view word = words[count + 1];
            const auto parsed =
                std::from_chars(word.data(), word.data() + word.size(), times.ticks[count]);
            if (parsed.ec != std::errc() || parsed.ptr != word.data() + word.size()) break;
        }
        if (count == 0) return std::nullopt;
        for (; count < times.ticks.size(); ++count)
            times.ticks[count] = 0;
        return times;
    }
    return std::nullopt;
}

std::int32_t BusyPercent(const CpuTimes& before, const CpuTimes& after) {
    std::uint64_t busy = 0;
    std::uint64_t idle = 0;
    for (std::size_t i = 0; i < after.ticks.size(); ++i) {
        const std::uint64_t delta =
            after.ticks[i] > before.ticks[i] ? after.ticks[i] - before.ticks[i] : 0;
        std::uint64_t& sum = i == kIdle || i == kIowait ? idle : busy;
        sum = delta > UINT64_MAX - sum ? UINT64_MAX : sum + delta; // saturates
    }
    // Deltas of half a second are small; absurd ones from a garbled file are
    // shrunk, ratio kept, so that busy * 100 cannot overflow.
    constexpr std::uint64_t kLimit = UINT64_MAX / 200;
    while (busy > kLimit || idle > kLimit || busy + idle > kLimit) {
        busy >>= 1;
        idle >>= 1;
    }
    const std::uint64_t total = busy + idle;
    if (total == 0) return 0;
    std::uint64_t q = busy * 100 / total;
    const std::uint64_t r = busy * 100 % total;
    if (r * 2 > total || (r * 2 == total && (q & 1))) ++q;
    return static_cast<std::int32_t>(q);
}

std::int32_t ProcStatLoad::Sample() {
    const auto text = readStat_();
    if (!text) return 0;
    const auto now = ParseCpuLine(*text);
    if (!now) return 0;
    const std::int32_t load = previous_ ? BusyPercent(*previous_, *now) : 0;
    previous_ = now;
    return load;
}
