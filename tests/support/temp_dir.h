#pragma once

// A directory of the test's own under the system's temporary directory,
// removed with everything in it when the object goes.

#include <filesystem>
#include <stdlib.h>
#include <string>

namespace testing_support {

class TempDir {
public:
    explicit TempDir(const std::string& prefix = "korvid-test") {
        std::string pattern =
            (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

} // namespace testing_support
