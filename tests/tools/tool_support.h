// Shared by the tests of the command-line tools: running a command through the
// shell with its output captured, quoting for it, and reading a whole file.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace tool_test {

// The text as one shell word.
inline std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct Outcome {
    int status;          // exit status, -1 when the command did not exit
    std::string output;  // standard output and standard error together
};

inline std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline Outcome Shell(const std::string& command)
{
    const std::string out =
        std::filesystem::temp_directory_path() / ("velkar-tool-test-" + std::to_string(getpid()) + ".out");
    const int raw = std::system((command + " >" + Quote(out) + " 2>&1").c_str());
    std::string text = Slurp(out);
    std::filesystem::remove(out);
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, text};
}

}  // namespace tool_test
