#include "argument_list.h"

#include <QStringList>
#include <cmath>
#include <cstdio>

#include "usage_error.h"

namespace folio::convert {
namespace {

// Latin-1 maps every byte to one character and back, so arguments keep their
// exact bytes whatever their encoding; option names are ASCII either way.
QString Text(const std::string& bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string Bytes(const QString& text) {
    return text.toLatin1().toStdString();
}

QString Name(const std::string& option) {
    return Text(option.substr(option.find_first_not_of('-')));
}

std::string Spelt(const QString& name) {
    return (name.size() == 1 ? "-" : "--") + Bytes(name);
}

}  // namespace

ArgumentList::ArgumentList(const std::vector<std::string>& args,
                           const std::set<std::string>& valueOptions,
                           const std::set<std::string>& switches) {
    for (const std::string& option : valueOptions) {
        parser_.addOption(QCommandLineOption(Name(option), QString(), QStringLiteral("value")));
    }
    for (const std::string& option : switches) {
        parser_.addOption(QCommandLineOption(Name(option)));
    }
    QStringList line{QStringLiteral("foliolens-convert")};
    for (const std::string& arg : args) {
        line << Text(arg);
    }
    if (!parser_.parse(line)) {
        const QStringList unknown = parser_.unknownOptionNames();
        throw UsageError(unknown.isEmpty() ? Bytes(parser_.errorText())
                                           : "unknown option " + Spelt(unknown.front()));
    }
    const QStringList found = parser_.optionNames();
    for (const QString& name : found) {
        if (found.count(name) > 1) {
            throw UsageError("option " + Spelt(name) + " is given more than once");
        }
    }
    for (const QString& arg : parser_.positionalArguments()) {
        positional_.push_back(Bytes(arg));
    }
}

bool ArgumentList::Has(const std::string& option) const {
    return parser_.isSet(Name(option));
}

std::string ArgumentList::Value(const std::string& option) const {
    return Bytes(parser_.value(Name(option)));
}

long ArgumentList::IntValue(const std::string& option, long min, long max) const {
    bool ok = false;
    const long value = parser_.value(Name(option)).toLong(&ok);
    if (!ok || value < min || value > max) {
        throw UsageError("option " + option + " needs a whole number from " + std::to_string(min) +
                         " to " + std::to_string(max) + ", not \"" + Value(option) + "\"");
    }
    return value;
}

double ArgumentList::DoubleValue(const std::string& option, double min, double max) const {
    bool ok = false;
    const double value = parser_.value(Name(option)).toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < min || value > max) {
        char range[64];
        std::snprintf(range, sizeof range, "%g to %g", min, max);
        throw UsageError("option " + option + " needs a number from " + range + ", not \"" +
                         Value(option) + "\"");
    }
    return value;
}

}  // namespace folio::convert
