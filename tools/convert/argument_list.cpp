#include "argument_list.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "usage_error.h"

namespace folio::convert {

ArgumentList::ArgumentList(const std::vector<std::string>& args,
                           const std::set<std::string>& valueOptions,
                           const std::set<std::string>& switches) {
    bool onlyPositional = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (onlyPositional || arg.size() < 2 || arg[0] != '-') {
            positional_.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyPositional = true;
            continue;
        }
        std::string value;
        bool hasValue = false;
        const auto equals = arg.find('=');
        if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = arg.substr(equals + 1);
            arg = arg.substr(0, equals);
            hasValue = true;
        }
        if (values_.count(arg) != 0) {
            throw UsageError("option " + arg + " is given more than once");
        }
        if (switches.count(arg) != 0) {
            if (hasValue) {
                throw UsageError("option " + arg + " takes no value");
            }
            values_[arg] = "";
            continue;
        }
        if (valueOptions.count(arg) == 0) {
            throw UsageError("unknown option " + arg);
        }
        if (!hasValue) {
            if (i + 1 >= args.size()) {
                throw UsageError("option " + arg + " needs a value");
            }
            value = args[++i];
        }
        values_[arg] = value;
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
