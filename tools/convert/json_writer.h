#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace folio::convert {

// Builds one JSON text. Strings are escaped as JSON requires; bytes that are not
// valid UTF-8 (a file name can hold any bytes) become U+FFFD, so the result is
// always valid JSON.
class JsonWriter {
  public:
    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    // The next member's name, inside an object.
    void Key(const std::string& name);
    void String(const std::string& value);
    void Number(double value);
    void Integer(int64_t value);
    void Bool(bool value);

    const std::string& Text() const { return text_; }

  private:
    void BeforeValue();
    void Quoted(const std::string& value);

    std::string text_;
    // Per open container: whether it has a member yet.
    std::vector<bool> hasMember_;
    bool afterKey_ = false;
};

// `value` as a quoted, escaped JSON string.
std::string JsonQuote(const std::string& value);

}  // namespace folio::convert
