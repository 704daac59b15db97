#pragma once
// A test's whole-file reads and writes, in binary so that line ends are compared as written.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace mvx::test {

// The file's bytes; "" when it cannot be read.
inline std::string ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace mvx::test
