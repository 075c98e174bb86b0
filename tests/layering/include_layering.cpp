// The include-layering check: every `#include "..."` in our source trees must name a
// header of a target the including target links (itself, what it links, and what
// those export), and the core includes no Qt, OS or third-party header. Reads the
// manifest the configure step writes (cmake/FolioLayering.cmake) and prints one line
// per violation: file, line, header and the link that is missing.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Target {
    std::string kind;                // "core", "qt-free" or "other"
    std::string type;                // CMake's: STATIC_LIBRARY, INTERFACE_LIBRARY, EXECUTABLE, ...
    std::vector<std::string> links;  // linked, privately or publicly
    std::vector<std::string> uses;   // exported to whoever links this target
};

struct Manifest {
    std::vector<fs::path> trees;  // folders whose files are checked
    std::vector<fs::path> roots;  // include roots, in the compilers' order
    std::map<std::string, Target> targets;
    std::map<fs::path, std::set<std::string>> sources;  // file -> targets listing it
};

std::optional<Manifest> ReadManifest(const fs::path& path) {
    std::ifstream in(path);
    if (!in) {
        std::cerr << "cannot read the layering manifest " << path << "\n";
        return std::nullopt;
    }
    Manifest manifest;
    std::string word;
    std::string value;
    std::string current;
    while (in >> word && std::getline(in >> std::ws, value)) {
        if (word == "tree") {
            manifest.trees.emplace_back(value);
        } else if (word == "root") {
            manifest.roots.emplace_back(value);
        } else if (word == "target") {
            std::istringstream fields(value);
            Target target;
            fields >> current >> target.kind >> target.type;
            manifest.targets[current] = target;
        } else if (word == "source") {
            manifest.sources[fs::path(value).lexically_normal()].insert(current);
        } else if (word == "link") {
            manifest.targets[current].links.push_back(value);
        } else if (word == "uses") {
            manifest.targets[current].uses.push_back(value);
        } else {
            std::cerr << path << ": unknown entry \"" << word << "\"\n";
            return std::nullopt;
        }
    }
    return manifest;
}

// The targets whose headers `name` may include: itself, and the usage closure of
// everything it links.
std::set<std::string> Reachable(const Manifest& manifest, const std::string& name) {
    std::set<std::string> seen{name};
    std::vector<std::string> pending;
    const Target& self = manifest.targets.at(name);
    pending.insert(pending.end(), self.links.begin(), self.links.end());
    pending.insert(pending.end(), self.uses.begin(), self.uses.end());
    while (!pending.empty()) {
        const std::string next = pending.back();
        pending.pop_back();
        if (!seen.insert(next).second) {
            continue;
        }
        const auto found = manifest.targets.find(next);
        if (found != manifest.targets.end()) {
            pending.insert(pending.end(), found->second.uses.begin(), found->second.uses.end());
        }
    }
    return seen;
}

bool IsLibrary(const Manifest& manifest, const std::string& name) {
    return manifest.targets.at(name).type != "EXECUTABLE";
}

// The targets a file belongs to: those listing it; for an unlisted header, those
// listing the .cpp of the same name beside it; otherwise the libraries with sources
// in its folder (or, with none, any target there).
std::set<std::string> Owners(const Manifest& manifest, const fs::path& file) {
    if (const auto listed = manifest.sources.find(file); listed != manifest.sources.end()) {
        return listed->second;
    }
    fs::path twin = file;
    twin.replace_extension(".cpp");
    if (const auto listed = manifest.sources.find(twin); listed != manifest.sources.end()) {
        return listed->second;
    }
    std::set<std::string> libraries;
    std::set<std::string> any;
    for (const auto& [source, owners] : manifest.sources) {
        if (source.parent_path() != file.parent_path()) {
            continue;
        }
        for (const std::string& owner : owners) {
            any.insert(owner);
            if (IsLibrary(manifest, owner)) {
                libraries.insert(owner);
            }
        }
    }
    return libraries.empty() ? any : libraries;
}

std::optional<fs::path> Resolve(const Manifest& manifest, const fs::path& includer,
                                const std::string& name) {
    std::vector<fs::path> candidates{includer.parent_path()};
    candidates.insert(candidates.end(), manifest.roots.begin(), manifest.roots.end());
    for (const fs::path& dir : candidates) {
        const fs::path path = (dir / name).lexically_normal();
        if (fs::is_regular_file(path)) {
            return path;
        }
    }
    return std::nullopt;
}

// System headers the core must not include: Qt, the OS, and third-party libraries
// that only adapters and the engine may use.
bool ForbiddenInCore(const std::string& header) {
    static const std::regex forbidden(
        "(Q[A-Za-z].*|q[a-z]+\\.h|unistd\\.h|fcntl\\.h|dirent\\.h|pwd\\.h|grp\\.h|poll\\.h|"
        "spawn\\.h|termios\\.h|dlfcn\\.h|pthread\\.h|windows\\.h|tiff.*\\.h|jpeglib\\.h|"
        "png\\.h|zlib\\.h|(sys|arpa|netinet|linux|cups|qpdf|gtest|gmock)/.*)");
    return std::regex_match(header, forbidden);
}

bool IsQt(const std::string& header) {
    static const std::regex qt("(Q[A-Za-z].*|q[a-z]+\\.h)");
    return std::regex_match(header, qt);
}

std::string Join(const std::set<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : " or ") + name;
    }
    return text;
}

std::string Shown(const fs::path& path, const fs::path& top) {
    return path.lexically_relative(top).string();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: include_layering MANIFEST\n";
        return 2;
    }
    const std::optional<Manifest> manifest = ReadManifest(argv[1]);
    if (!manifest) {
        return 2;
    }
    if (manifest->trees.empty()) {
        std::cerr << argv[1] << ": names no source folder\n";
        return 2;
    }
    const fs::path top = manifest->trees.front().parent_path();
    static const std::regex include_line(R"(^\s*#\s*include\s*([<"])([^">]+)[">])");

    int violations = 0;
    int checked = 0;
    for (const fs::path& tree : manifest->trees) {
        if (!fs::is_directory(tree)) {
            continue;
        }
        for (const auto& entry : fs::recursive_directory_iterator(tree)) {
            const fs::path file = entry.path().lexically_normal();
            const std::string ext = file.extension().string();
            if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp")) {
                continue;
            }
            const std::set<std::string> owners = Owners(*manifest, file);
            if (owners.empty()) {
                // Benchmarks and fuzz targets are configured only on request.
                const std::string shown = Shown(file, top);
                if (ext == ".cpp" && shown.rfind("bench/", 0) != 0 &&
                    shown.rfind("fuzz/", 0) != 0) {
                    std::cout << shown << ": compiled by no target\n";
                    ++violations;
                }
                continue;
            }
            ++checked;
            std::ifstream in(file);
            std::string line;
            for (int number = 1; std::getline(in, line); ++number) {
                std::smatch match;
                if (!std::regex_search(line, match, include_line)) {
                    continue;
                }
                const std::string header = match[2];
                const std::string where = Shown(file, top) + ":" + std::to_string(number) + ": ";
                if (match[1] == "<") {
                    for (const std::string& owner : owners) {
                        const std::string kind = manifest->targets.at(owner).kind;
                        if ((kind == "core" && ForbiddenInCore(header)) ||
                            (kind == "qt-free" && IsQt(header))) {
                            std::cout << where << "<" << header << "> in " << owner
                                      << ", which must not include it\n";
                            ++violations;
                        }
                    }
                    continue;
                }
                const std::optional<fs::path> resolved = Resolve(*manifest, file, header);
                if (!resolved) {
                    std::cout << where << "\"" << header << "\" is no file of ours\n";
                    ++violations;
                    continue;
                }
                const std::set<std::string> header_owners = Owners(*manifest, *resolved);
                if (header_owners.empty()) {
                    std::cout << where << "\"" << header << "\" belongs to no target\n";
                    ++violations;
                    continue;
                }
                for (const std::string& owner : owners) {
                    const std::set<std::string> reachable = Reachable(*manifest, owner);
                    const bool linked = std::any_of(
                        header_owners.begin(), header_owners.end(),
                        [&](const std::string& name) { return reachable.count(name) > 0; });
                    if (!linked) {
                        std::cout << where << "\"" << header << "\" is in " << Join(header_owners)
                                  << ", which " << owner << " does not link\n";
                        ++violations;
                    }
                }
            }
        }
    }
    std::cout << checked << " files checked, " << violations << " layering violation(s)\n";
    return violations == 0 ? 0 : 1;
}
