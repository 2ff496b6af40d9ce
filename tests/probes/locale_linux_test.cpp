#include "number_text.h"
#include "proc_stat.h"
#include "support/temp_dir.h"

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

using numtext::FormatGeneral;
using numtext::GigabytesText;
using numtext::RoundHalfEven;

// The process locale (Qt sets it from the environment) must not change how
// numbers are written or read. A German locale, with its decimal comma, is
// compiled for the test from the sources that Debian's locales package holds
// (scripts/install-deps installs it).
TEST(NumberText, ProcessLocaleChangesNothing) {
    namespace fs = std::filesystem;
    // A directory of its own: another run of the suite may build its locale
    // at the same moment.
    const testing_support::TempDir temp("korvid-locale");
    const fs::path& dir = temp.Path();
    // localedef also exits non-zero for mere warnings; the compiled locale's
    // presence is what counts.
    const std::string make =
        "localedef -i de_DE -f UTF-8 '" + (dir / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
    ASSERT_TRUE(fs::exists("/usr/share/i18n/locales/de_DE"))
        << "no locale sources: apt install locales";
    (void)std::system(make.c_str());
    ASSERT_TRUE(fs::exists(dir / "de_DE.UTF-8" / "LC_NUMERIC"))
        << "localedef built no de_DE locale";
    ::setenv("LOCPATH", dir.c_str(), 1);
    const char* set = std::setlocale(LC_ALL, "de_DE.UTF-8");
    ASSERT_TRUE(set && std::string(std::localeconv()->decimal_point) == ",")
        << "the de_DE locale did not take";

    EXPECT_EQ(FormatGeneral(45.5, '.'), "45.5");
    EXPECT_EQ(FormatGeneral(1.5e20, '.'), "1.5E+20");
    EXPECT_EQ(RoundHalfEven(0.375, 2), 0.38);
    EXPECT_EQ(GigabytesText(80000000000ull, '.'), "74.5");
    const auto times = ParseCpuLine("cpu0 10 20 30 40\n");
    ASSERT_TRUE(times);
    EXPECT_EQ(times->ticks[3], 40u);

    std::setlocale(LC_ALL, "C");
    ::unsetenv("LOCPATH");
}
