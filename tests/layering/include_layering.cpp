// The include-layering check: every `#include "..."` in our source trees must name a
// header of a target the including target links (itself, what it links, and what
// those export), and the core includes no Qt, OS or third-party header. Inside a
// library that declares an order of its folders, a file includes only files of its
// own folder or of folders before it; inside every target, no units (a .h and the
// .cpp of the same name count as one) include each other, directly or around a
// circle. Reads the manifest the configure step writes (cmake/FolioLayering.cmake)
// and prints one line per violation: file, line, header and the rule it breaks.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
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
    fs::path dir;                    // the folder its sources are listed from
    std::vector<std::string> folders;  // sub-folders of `dir` in include order, or none
};

// An include from an earlier folder into a later one, allowed for now.
struct Exception {
    fs::path from;
    fs::path to;
    bool seen = false;  // whether the include is still there
};

struct Manifest {
    std::vector<fs::path> trees;  // folders whose files are checked
    std::vector<fs::path> roots;  // include roots, in the compilers' order
    std::map<std::string, Target> targets;
    std::map<fs::path, std::set<std::string>> sources;  // file -> targets listing it
    std::vector<Exception> exceptions;
};

// One `#include "..."` of a file of ours.
struct Include {
    fs::path file;
    int line = 0;
    std::string name;  // as written
    fs::path header;   // the file it names
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
        } else if (word == "dir") {
            manifest.targets[current].dir = fs::path(value).lexically_normal();
        } else if (word == "folders") {
            std::istringstream names(value);
            for (std::string name; names >> name;) {
                manifest.targets[current].folders.push_back(name);
            }
        } else if (word == "allow") {
            const size_t arrow = value.find(" -> ");
            if (arrow == std::string::npos) {
                std::cerr << path << ": \"allow " << value << "\" is not \"FILE -> HEADER\"\n";
                return std::nullopt;
            }
            manifest.exceptions.push_back({fs::path(value.substr(0, arrow)).lexically_normal(),
                                           fs::path(value.substr(arrow + 4)).lexically_normal()});
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

// The sub-folder of `target`'s folder that `file` lies in: "" at its top or outside it.
std::string FolderIn(const Target& target, const fs::path& file) {
    const fs::path relative = file.lexically_relative(target.dir);
    if (relative.empty() || *relative.begin() == ".." ||
        std::next(relative.begin()) == relative.end()) {
        return "";
    }
    return relative.begin()->string();
}

std::string Order(const Target& target) {
    std::string text;
    for (const std::string& folder : target.folders) {
        text += (text.empty() ? "" : " ") + folder;
    }
    return text;
}

// The temporary exception allowing `include`, if any, marked as still needed.
bool Excepted(Manifest& manifest, const Include& include) {
    for (Exception& exception : manifest.exceptions) {
        if (exception.from == include.file && exception.to == include.header) {
            exception.seen = true;
            return true;
        }
    }
    return false;
}

// A .h and the .cpp of the same name beside it are one unit.
std::string UnitOf(const fs::path& file) {
    return (file.parent_path() / file.stem()).string();
}

class Checker {
  public:
    explicit Checker(Manifest& manifest)
        : manifest_(manifest), top_(manifest.trees.front().parent_path()) {}

    // Every file of ours and what it includes, with the checks of a single include.
    void ReadTrees();
    // A file of a target with a folder order lies in one of them, and includes
    // nothing from a folder after its own.
    void CheckFolders();
    // No circle of includes between the units of any one target.
    void CheckCycles();
    // Every temporary exception still matches an include.
    void CheckExceptions();

    int Checked() const { return checked_; }
    int Violations() const { return violations_; }

  private:
    using Unit = std::string;  // a file's path without its extension
    // unit -> unit it includes -> the first include that does
    using Graph = std::map<Unit, std::map<Unit, const Include*>>;

    void CheckInclude(const fs::path& file, int number, const std::string& header,
                      const std::set<std::string>& owners, bool system);
    std::string Where(const fs::path& file, int line) const {
        return Shown(file, top_) + ":" + std::to_string(line) + ": ";
    }
    void ReportCycle(const std::string& target, const Graph& graph,
                     const std::vector<Unit>& component);

    Manifest& manifest_;
    const fs::path top_;
    std::map<fs::path, std::set<std::string>> owners_;  // every checked file's targets
    std::vector<Include> includes_;
    int checked_ = 0;
    int violations_ = 0;
};

void Checker::ReadTrees() {
    static const std::regex include_line(R"(^\s*#\s*include\s*([<"])([^">]+)[">])");
    for (const fs::path& tree : manifest_.trees) {
        if (!fs::is_directory(tree)) {
            continue;
        }
        for (const auto& entry : fs::recursive_directory_iterator(tree)) {
            const fs::path file = entry.path().lexically_normal();
            const std::string ext = file.extension().string();
            if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp")) {
                continue;
            }
            const std::set<std::string> owners = Owners(manifest_, file);
            if (owners.empty()) {
                // Benchmarks and fuzz targets are configured only on request.
                const std::string shown = Shown(file, top_);
                if (ext == ".cpp" && shown.rfind("bench/", 0) != 0 &&
                    shown.rfind("fuzz/", 0) != 0) {
                    std::cout << shown << ": compiled by no target\n";
                    ++violations_;
                }
                continue;
            }
            ++checked_;
            owners_[file] = owners;
            std::ifstream in(file);
            std::string line;
            for (int number = 1; std::getline(in, line); ++number) {
                std::smatch match;
                if (std::regex_search(line, match, include_line)) {
                    CheckInclude(file, number, match[2], owners, match[1] == "<");
                }
            }
        }
    }
}

void Checker::CheckInclude(const fs::path& file, int number, const std::string& header,
                           const std::set<std::string>& owners, bool system) {
    const std::string where = Where(file, number);
    if (system) {
        for (const std::string& owner : owners) {
            const std::string kind = manifest_.targets.at(owner).kind;
            if ((kind == "core" && ForbiddenInCore(header)) ||
                (kind == "qt-free" && IsQt(header))) {
                std::cout << where << "<" << header << "> in " << owner
                          << ", which must not include it\n";
                ++violations_;
            }
        }
        return;
    }
    const std::optional<fs::path> resolved = Resolve(manifest_, file, header);
    if (!resolved) {
        std::cout << where << "\"" << header << "\" is no file of ours\n";
        ++violations_;
        return;
    }
    const std::set<std::string> header_owners = Owners(manifest_, *resolved);
    if (header_owners.empty()) {
        std::cout << where << "\"" << header << "\" belongs to no target\n";
        ++violations_;
        return;
    }
    for (const std::string& owner : owners) {
        const std::set<std::string> reachable = Reachable(manifest_, owner);
        const bool linked =
            std::any_of(header_owners.begin(), header_owners.end(),
                        [&](const std::string& name) { return reachable.count(name) > 0; });
        if (!linked) {
            std::cout << where << "\"" << header << "\" is in " << Join(header_owners) << ", which "
                      << owner << " does not link\n";
            ++violations_;
        }
    }
    includes_.push_back({file, number, header, *resolved});
}

void Checker::CheckFolders() {
    for (const auto& [file, owners] : owners_) {
        for (const std::string& owner : owners) {
            const Target& target = manifest_.targets.at(owner);
            if (target.folders.empty()) {
                continue;
            }
            const std::string folder = FolderIn(target, file);
            if (std::find(target.folders.begin(), target.folders.end(), folder) ==
                target.folders.end()) {
                std::cout << Shown(file, top_) << ": in "
                          << (folder.empty() ? "no folder" : "folder " + folder + "/") << " of "
                          << owner << ", whose folder order (" << Order(target)
                          << ") does not name it\n";
                ++violations_;
            }
        }
    }
    for (const Include& include : includes_) {
        const std::set<std::string>& owners = owners_.at(include.file);
        const std::set<std::string> header_owners = Owners(manifest_, include.header);
        for (const std::string& owner : owners) {
            const Target& target = manifest_.targets.at(owner);
            if (target.folders.empty() || header_owners.count(owner) == 0) {
                continue;
            }
            const auto& order = target.folders;
            const auto from = std::find(order.begin(), order.end(), FolderIn(target, include.file));
            const auto to = std::find(order.begin(), order.end(), FolderIn(target, include.header));
            if (from == order.end() || to == order.end() || to <= from ||
                Excepted(manifest_, include)) {
                continue;
            }
            std::cout << Where(include.file, include.line) << "\"" << include.name << "\" is in "
                      << *to << "/, which comes after " << *from << "/ in " << owner
                      << "'s folder order (" << Order(target) << ")\n";
            ++violations_;
        }
    }
}

void Checker::CheckCycles() {
    std::map<std::string, Graph> graphs;  // per target
    for (const Include& include : includes_) {
        const Unit from = UnitOf(include.file);
        const Unit to = UnitOf(include.header);
        if (from == to || Excepted(manifest_, include)) {
            continue;
        }
        const std::set<std::string> header_owners = Owners(manifest_, include.header);
        for (const std::string& owner : owners_.at(include.file)) {
            if (header_owners.count(owner) > 0) {
                graphs[owner][from].emplace(to, &include);
            }
        }
    }
    for (const auto& entry : graphs) {
        // Plain names: clang 14 cannot capture a structured binding in the lambda.
        const std::string& target = entry.first;
        const Graph& graph = entry.second;
        // Tarjan's strongly connected components: each of more than one unit holds a
        // circle.
        std::map<Unit, int> index;
        std::map<Unit, int> low;
        std::vector<Unit> stack;
        std::set<Unit> on_stack;
        int next = 0;
        std::function<void(const Unit&)> visit = [&](const Unit& node) {
            index[node] = low[node] = next++;
            stack.push_back(node);
            on_stack.insert(node);
            if (const auto out = graph.find(node); out != graph.end()) {
                for (const auto& [to, include] : out->second) {
                    if (index.count(to) == 0) {
                        visit(to);
                        low[node] = std::min(low[node], low[to]);
                    } else if (on_stack.count(to) > 0) {
                        low[node] = std::min(low[node], index[to]);
                    }
                }
            }
            if (low[node] != index[node]) {
                return;
            }
            std::vector<Unit> component;
            Unit member;
            do {
                member = stack.back();
                stack.pop_back();
                on_stack.erase(member);
                component.push_back(member);
            } while (member != node);
            if (component.size() > 1) {
                std::sort(component.begin(), component.end());
                ReportCycle(target, graph, component);
            }
        };
        for (const auto& [node, edges] : graph) {
            if (index.count(node) == 0) {
                visit(node);
            }
        }
    }
}

// Prints the shortest circle through the component's first unit, include by
// include, and the other units caught in it.
void Checker::ReportCycle(const std::string& target, const Graph& graph,
                          const std::vector<Unit>& component) {
    const std::set<Unit> members(component.begin(), component.end());
    const Unit& start = component.front();
    std::map<Unit, const Include*> reached_by;  // breadth first from `start`
    std::vector<Unit> frontier{start};
    while (!frontier.empty() && reached_by.count(start) == 0) {
        std::vector<Unit> following;
        for (const Unit& node : frontier) {
            for (const auto& [to, include] : graph.at(node)) {
                if (members.count(to) > 0 && reached_by.emplace(to, include).second) {
                    following.push_back(to);
                }
            }
        }
        frontier = std::move(following);
    }
    std::vector<const Include*> circle;
    Unit at = start;
    do {
        const Include* include = reached_by.at(at);
        circle.push_back(include);
        at = UnitOf(include->file);
    } while (at != start);
    std::reverse(circle.begin(), circle.end());
    std::cout << "include cycle in " << target << " (a .h and its .cpp are one unit):\n";
    for (const Include* include : circle) {
        std::cout << "  " << Where(include->file, include->line) << "\"" << include->name << "\"\n";
    }
    if (component.size() > circle.size()) {
        std::cout << "  and with them in a circle:";
        for (const Unit& member : component) {
            std::cout << " " << Shown(member, top_);
        }
        std::cout << "\n";
    }
    ++violations_;
}

void Checker::CheckExceptions() {
    for (const Exception& exception : manifest_.exceptions) {
        if (!exception.seen) {
            std::cout << Shown(exception.from, top_) << " -> " << Shown(exception.to, top_)
                      << ": a temporary exception no include needs any more; remove it from "
                         "FOLIO_LAYERING_TEMPORARY_EXCEPTIONS\n";
            ++violations_;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: include_layering MANIFEST\n";
        return 2;
    }
    std::optional<Manifest> manifest = ReadManifest(argv[1]);
    if (!manifest) {
        return 2;
    }
    if (manifest->trees.empty()) {
        std::cerr << argv[1] << ": names no source folder\n";
        return 2;
    }
    Checker checker(*manifest);
    checker.ReadTrees();
    checker.CheckFolders();
    checker.CheckCycles();
    checker.CheckExceptions();
    std::cout << checker.Checked() << " files checked, " << checker.Violations()
              << " layering violation(s)";
    if (!manifest->exceptions.empty()) {
        std::cout << ", " << manifest->exceptions.size()
                  << " temporary exception(s) allowed (FOLIO_LAYERING_TEMPORARY_EXCEPTIONS)";
    }
    std::cout << "\n";
    return checker.Violations() == 0 ? 0 : 1;
}
