#include "argument_list.h"

#include <getopt.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "usage_error.h"

namespace folio::convert {
namespace {

// The option as typed, without any "=value" part.
std::string Typed(const char* arg) {
    const std::string text(arg);
    return text.substr(0, text.find('='));
}

}  // namespace

ArgumentList::ArgumentList(const std::vector<std::string>& args,
                           const std::set<std::string>& valueOptions,
                           const std::set<std::string>& switches) {
    // One table of spellings: a long option's `val` is its index here plus 256,
    // a short option's is its letter.
    std::vector<std::string> spelt;
    std::vector<option> longOptions;
    std::string shortOptions = "-:";  // arguments in order; ':' for a missing value
    const auto add = [&](const std::string& name, bool takesValue) {
        spelt.push_back(name);
        if (name.size() == 2) {
            shortOptions += name[1];
            shortOptions += takesValue ? ":" : "";
        }
    };
    for (const std::string& name : valueOptions) {
        add(name, true);
    }
    for (const std::string& name : switches) {
        add(name, false);
    }
    for (size_t i = 0; i < spelt.size(); ++i) {
        if (spelt[i].size() > 2) {
            longOptions.push_back(
                {spelt[i].c_str() + 2,
                 valueOptions.count(spelt[i]) != 0 ? required_argument : no_argument, nullptr,
                 static_cast<int>(256 + i)});
        }
    }
    longOptions.push_back({nullptr, 0, nullptr, 0});

    std::vector<std::string> storage{"foliolens-convert"};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : storage) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    const auto nameOf = [&](int code) -> std::string {
        if (code >= 256) {
            return spelt[static_cast<size_t>(code - 256)];
        }
        return std::string("-") + static_cast<char>(code);
    };
    opterr = 0;
    optind = 0;  // a fresh scan (glibc)
    const int argc = static_cast<int>(storage.size());
    for (;;) {
        const int code =
            getopt_long(argc, argv.data(), shortOptions.c_str(), longOptions.data(), nullptr);
        if (code == -1) {
            break;
        }
        if (code == 1) {
            positional_.emplace_back(optarg);
            continue;
        }
        if (code == ':') {
            throw UsageError("option " + nameOf(optopt != 0 ? optopt : '?') + " needs a value");
        }
        if (code == '?') {
            // getopt_long names a known switch given a value by its code, a short
            // option by its letter, and leaves an unknown long option to be read.
            if (optopt >= 256) {
                throw UsageError("option " + nameOf(optopt) + " takes no value");
            }
            if (optopt != 0) {
                throw UsageError("unknown option " + nameOf(optopt));
            }
            // A shortened long option that fits several is named with them.
            const std::string typed = Typed(argv[optind - 1]);
            std::string fits;
            for (const std::string& name : spelt) {
                if (typed.size() > 2 && name.size() > 2 && name.rfind(typed, 0) == 0) {
                    fits += (fits.empty() ? "" : ", ") + name;
                }
            }
            if (fits.find(',') != std::string::npos) {
                throw UsageError("option " + typed + " could be any of " + fits);
            }
            throw UsageError("unknown option " + typed);
        }
        const std::string name = nameOf(code);
        if (!values_.emplace(name, optarg != nullptr ? optarg : "").second) {
            throw UsageError("option " + name + " is given more than once");
        }
    }
    for (int i = optind; i < argc; ++i) {  // after "--"
        positional_.emplace_back(argv[static_cast<size_t>(i)]);
    }
}

bool ArgumentList::Has(const std::string& option) const {
    return values_.count(option) != 0;
}

std::string ArgumentList::Value(const std::string& option) const {
    const auto found = values_.find(option);
    return found == values_.end() ? std::string() : found->second;
}

long ArgumentList::IntValue(const std::string& option, long min, long max) const {
    const std::string text = Value(option);
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < min || value > max) {
        throw UsageError("option " + option + " needs a whole number from " + std::to_string(min) +
                         " to " + std::to_string(max) + ", not \"" + text + "\"");
    }
    return value;
}

double ArgumentList::DoubleValue(const std::string& option, double min, double max) const {
    const std::string text = Value(option);
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(value) || value < min ||
        value > max) {
        char range[64];
        std::snprintf(range, sizeof range, "%g to %g", min, max);
        throw UsageError("option " + option + " needs a number from " + range + ", not \"" + text +
                         "\"");
    }
    return value;
}

}  // namespace folio::convert
