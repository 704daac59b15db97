// gen_gcode LINES [SEED] [-o FILE]: writes a CAM-like G-code program (see gcodegen.h).
#include "gcodegen.h"

#include "translator/numtext.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    mvx::bench::GeneratorOptions options;
    std::string out;
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-o" && i + 1 < argc) {
            out = argv[++i];
            continue;
        }
        const auto v = mvx::num::parseIntStrict(a);
        if (!v || *v < 0) {
            std::fprintf(stderr, "usage: gen_gcode LINES [SEED] [-o FILE]\n");
            return 2;
        }
        if (positional++ == 0) options.Lines = *v;
        else options.Seed = static_cast<std::uint64_t>(*v);
    }
    if (positional == 0) {
        std::fprintf(stderr, "usage: gen_gcode LINES [SEED] [-o FILE]\n");
        return 2;
    }
    const std::string text = mvx::bench::GenerateGCodeText(options);
    std::FILE* f = out.empty() ? stdout : std::fopen((out + ".part").c_str(), "wb");
    if (!f || std::fwrite(text.data(), 1, text.size(), f) != text.size() || (f != stdout && std::fclose(f) != 0)) {
        std::perror(out.empty() ? "stdout" : out.c_str());
        return 1;
    }
    if (!out.empty() && std::rename((out + ".part").c_str(), out.c_str()) != 0) {
        std::perror(out.c_str());
        return 1;
    }
    return 0;
}
