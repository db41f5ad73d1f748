#pragma once

#include <charconv>
#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace shotdate {

// Whether `text` is well-formed UTF-8 (no overlong forms, surrogates or
// code points past U+10FFFF).
bool isUtf8(std::string_view text);

// One JSON object on one line, written field by field in the order given.
// The journal writes a line or two for every photo of a run: built as a
// tree of JSON values first, they cost more than the rest of the run's own
// thread. Text that is not UTF-8 is written with U+FFFD for each bad byte.
class JsonLine {
public:
    JsonLine() { out_ += '{'; }

    JsonLine& text(std::string_view key, std::string_view value);
    JsonLine& nullableText(std::string_view key, const std::optional<std::string>& value); // null when absent
    JsonLine& boolean(std::string_view key, bool value);
    JsonLine& null(std::string_view key);
    JsonLine& pair(std::string_view key, std::int64_t first, std::int64_t second); // [first,second]
    JsonLine& element(std::string_view text); // a text inside an array

    template <std::integral Number>
    JsonLine& number(std::string_view key, Number value)
    {
        name(key);
        integer(value);
        return *this;
    }

    // A nested object or array: `open` with '{' or '[' (the key is left out
    // inside an array), then `close` with '}' or ']'.
    JsonLine& open(std::string_view key, char bracket);
    JsonLine& open(char bracket);
    JsonLine& close(char bracket);

    // The finished line, with its newline; the writer is left empty.
    std::string finish();

private:
    void name(std::string_view key);
    void separate();
    void quoted(std::string_view text);
    template <std::integral Number>
    void integer(Number value)
    {
        char digits[24];
        out_.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
    }

    std::string out_;
};

} // namespace shotdate
