#pragma once

// A directory of the test's own under the system's temporary directory,
// removed with everything in it when the object goes.

#include <filesystem>
#include <random>
#include <string>

namespace testing_support {

class TempDir {
public:
    explicit TempDir(const std::string& prefix = "korvid-test") {
        std::random_device random;
        const auto base = std::filesystem::temp_directory_path();
        // A name nobody has taken; create_directory says whether it was free.
        do
            path_ = base / (prefix + "-" + std::to_string(random()));
        while (!std::filesystem::create_directory(path_));
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

} // namespace testing_support
