#pragma once

// `CommandLine`: the process's command line, its arguments and the flag queries
// (`FlaggedArg`, `FlagPresent`, `FlagPresentFromList`), and the flag-list items
// those take.

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/command_line_source.h"
#include "platform/platform_traits.h"

namespace folio {

// An integer that is a number: a Boolean or a character does not count as one.
template <typename T>
concept FlagInteger = std::integral<T> && !std::same_as<T, bool> && !std::same_as<T, char> &&
                      !std::same_as<T, wchar_t> && !std::same_as<T, char8_t> &&
                      !std::same_as<T, char16_t> && !std::same_as<T, char32_t>;

// One item of a flag list: any value with the classic runtime's text form (an
// integer or a double as its decimal text, a Boolean as "True" or "False", a string
// as it stands), or Null, which has none.
class FlagValue {
  public:
    FlagValue() = default;  // Null
    FlagValue(std::nullptr_t) {}
    FlagValue(bool value) : text_(value ? u"True" : u"False") {}
    FlagValue(std::u16string value) : text_(std::move(value)) {}
    FlagValue(std::u16string_view value) : text_(std::u16string(value)) {}
    FlagValue(const char16_t* value) {  // a null pointer is Null
        if (value != nullptr) {
            text_ = value;
        }
    }

    template <FlagInteger T>
    FlagValue(T value) : text_(IntegerText(value)) {}

    FlagValue(double value);

    bool IsNull() const { return !text_; }

    // The text form; raises a type-mismatch error for Null.
    const std::u16string& Text() const;

  private:
    template <FlagInteger T>
    static std::u16string IntegerText(T value) {
        const std::string digits = std::to_string(value);
        return std::u16string(digits.begin(), digits.end());
    }

    std::optional<std::u16string> text_;
};

// The command line of the running process: its raw text, its arguments by
// position, the program's own file name and folder, and the flag queries.
// Everything is read from the source at creation and again by Refresh; between
// the two every answer is stable. The source must outlive the object.
class CommandLine {
  public:
    // Case sensitivity starts off. Reads the command line at once; an error from
    // reading it (an overflowing argument count) makes the creation fail.
    CommandLine(CommandLineSource& source, const PlatformTraits& traits);
    CommandLine(CommandLineSource&& source, const PlatformTraits& traits) = delete;

    // The program's file name; without its extension when BaseOnly (a leading
    // dot is no extension: ".profile" stays whole).
    std::u16string AppExeName(bool BaseOnly = false) const;

    // The program's folder with its trailing separator; empty when element 0 has
    // no separator.
    const std::u16string& AppPath() const { return appPath_; }

    // Element Which (0 the program, 1 the first argument); empty when out of range.
    std::u16string Argument(int32_t Which) const;

    // The number of arguments after the program: always 1 on the NT family, where
    // all arguments arrive joined in argument 1.
    int32_t Arguments() const { return static_cast<int32_t>(args_.size()) - 1; }

    bool CaseSensitive() const { return caseSensitive_; }
    void CaseSensitive(bool NewVal) { caseSensitive_ = NewVal; }

    // The value of the first argument that begins with Flag: the rest of that
    // argument (one leading space or colon dropped when two or more characters
    // remain), or the next argument when the argument is Flag itself; empty when
    // no argument begins with Flag.
    std::u16string FlaggedArg(std::u16string_view Flag) const;

    // The position of the first argument equal to Flag as a whole; 0 for none.
    int32_t FlagPresent(std::u16string_view Flag) const;

    // Whether any item of Flags, as text, is present. A Null item that is reached
    // raises a type-mismatch error.
    bool FlagPresentFromList(const std::vector<FlagValue>& Flags) const;

    // Re-reads the command line; case sensitivity stays as it is. On an error
    // the previous answers stay.
    void Refresh();

    /// Returns command line of executing process.
    const std::u16string& ToString() const { return rawLine_; }

  private:
    CommandLineSource* source_;
    char16_t separator_;
    std::u16string rawLine_;
    std::u16string appExeName_;
    std::u16string appPath_;
    std::vector<std::u16string> args_;  // element 0 always present after Refresh
    bool caseSensitive_ = false;
};

}  // namespace folio
