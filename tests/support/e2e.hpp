// Helpers for end-to-end tests: a scratch directory per test case, and a way
// to run one of the built tools there and capture everything it says.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace e2e {

using Bytes = std::vector<std::uint8_t>;

struct Result {
    int status = -1; // exit status, or 128 + signal number if it was killed
    std::string out;
    std::string err;
};

// A fresh, empty directory named after the running test, removed when the
// test ends. Tools are run with it as their working directory.
class Scratch {
  public:
    Scratch();
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    const std::filesystem::path& dir() const { return dir_; }
    std::filesystem::path operator/(const std::string& name) const { return dir_ / name; }

    // Names of the regular files, directories and links in the directory, sorted.
    std::vector<std::string> entries() const;

  private:
    std::filesystem::path dir_;
};

// Runs `exe` with `args` in `cwd`, with no standard input, and kills it after
// `timeout_s` seconds so that a hang fails the test instead of stalling it.
Result run(const std::string& exe, const std::vector<std::string>& args,
           const std::filesystem::path& cwd, int timeout_s = 60);

Bytes read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const Bytes& bytes);
Bytes hex(const std::string& text); // "05 05 0a" -> {5, 5, 10}
std::string to_hex(const Bytes& bytes);

} // namespace e2e
