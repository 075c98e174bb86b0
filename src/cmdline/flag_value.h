#pragma once

#include <concepts>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

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

}  // namespace folio
