#include "tclgathering.h"

#include "translator/numtext.h"

#include <filesystem>
#include <system_error>

namespace mvx::tclbench {

namespace fs = std::filesystem;

std::string KeptGatheringTarget(const std::string& model)
{
    const fs::path path(model);
    const std::string ext = path.extension().string();
    const std::string base = model.substr(0, model.size() - ext.size());
    std::error_code ec;
    fs::path folder = fs::is_directory(base, ec) ? fs::path(base) : path.parent_path();
    if (folder.empty()) folder = ".";
    long long n = 0;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file(ec)) ++n;
    auto name = [&](long long k) { return base + (k > 0 ? num::integer(k) : std::string()) + ext; };
    while (fs::exists(name(n), ec)) ++n;
    return name(n);
}

std::string KeepGatheringFile(const std::string& source, const std::string& model, std::string& error)
{
    error.clear();
    const std::string target = KeptGatheringTarget(model);
    if (target == source) return {};
    std::error_code ec;
    if (!fs::copy_file(source, target, fs::copy_options::none, ec)) {
        error = ec ? ec.message() : "not copied";
        return {};
    }
    return target;
}

}  // namespace mvx::tclbench
