#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace folio::convert {

// A subcommand's command line split by getopt_long into plain arguments, options
// that take a value ("--page 3", "--page=3", "-o out.png") and switches
// ("--json"). An unknown option, a missing value or an option given twice is a
// UsageError naming it. Arguments pass through unchanged byte for byte, so file
// names that are not UTF-8 survive.
class ArgumentList {
  public:
    // `valueOptions` and `switches` are spelt as typed: "--page", "-o".
    ArgumentList(const std::vector<std::string>& args, const std::set<std::string>& valueOptions,
                 const std::set<std::string>& switches);

    const std::vector<std::string>& Positional() const { return positional_; }
    bool Has(const std::string& option) const;
    // The option's value, or "" when it was not given.
    std::string Value(const std::string& option) const;

    // The option's value as a number; raises UsageError naming the option when it
    // is not one, or lies outside [min, max].
    long IntValue(const std::string& option, long min, long max) const;
    double DoubleValue(const std::string& option, double min, double max) const;

  private:
    std::vector<std::string> positional_;
    std::map<std::string, std::string> values_;
};

}  // namespace folio::convert
