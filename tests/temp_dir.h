// A private directory for a test's files, removed with everything in it.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace netsorter::testing {

class TempDir {
  public:
    TempDir() {
        std::random_device seed;
        std::mt19937_64 random(seed());
        do {
            path_ = std::filesystem::temp_directory_path() /
                    ("netsorter-test-" + std::to_string(random()));
        } while (!std::filesystem::create_directory(path_));
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The directory and a file in it, as UTF-8 paths for the program's own functions.
    std::string str() const {
        const std::u8string s = path_.u8string();
        return {s.begin(), s.end()};
    }
    std::string file(const std::string& name) const {
        const std::u8string s = (path_ / name).u8string();
        return {s.begin(), s.end()};
    }
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path_ / name, std::ios::binary) << bytes;
    }

  private:
    std::filesystem::path path_;
};

}  // namespace netsorter::testing
