#include "io/json_line.h"

#include <algorithm>

namespace shotdate {

namespace {

// The length of the well-formed UTF-8 sequence at the start of `text`, or
// 0 when it does not start with one.
std::size_t utf8Length(std::string_view text)
{
    const auto byte = [&](std::size_t i) { return std::uint8_t(text[i]); };
    const std::uint8_t lead = byte(0);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    std::uint8_t low = 0x80, high = 0xbf; // the range of the second byte
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        low = lead == 0xe0 ? 0xa0 : 0x80;
        high = lead == 0xed ? 0x9f : 0xbf;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        low = lead == 0xf0 ? 0x90 : 0x80;
        high = lead == 0xf4 ? 0x8f : 0xbf;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xbf)
            return 0;
    return length;
}

} // namespace

bool isUtf8(std::string_view text)
{
    while (!text.empty()) {
        const std::size_t length = utf8Length(text);
        if (length == 0)
            return false;
        text.remove_prefix(length);
    }
    return true;
}

void JsonLine::separate()
{
    if (!out_.empty() && out_.back() != '{' && out_.back() != '[')
        out_ += ',';
}

void JsonLine::name(std::string_view key)
{
    separate();
    quoted(key);
    out_ += ':';
}

void JsonLine::quoted(std::string_view text)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    out_ += '"';
    while (!text.empty()) {
        // Most of a journal line is hex digits and plain names: taken in runs.
        const auto plain = std::find_if(text.begin(), text.end(), [](char c) {
            return std::uint8_t(c) < 0x20 || std::uint8_t(c) >= 0x80 || c == '"' || c == '\\';
        });
        out_.append(text.begin(), plain);
        text.remove_prefix(std::size_t(plain - text.begin()));
        if (text.empty())
            break;
        const char c = text.front();
        const std::size_t length = utf8Length(text);
        if (length == 0) {
            out_ += "\xef\xbf\xbd"; // U+FFFD
            text.remove_prefix(1);
            continue;
        }
        if (c == '"' || c == '\\') {
            out_ += '\\';
            out_ += c;
        } else if (std::uint8_t(c) < 0x20) {
            out_ += "\\u00";
            out_ += kDigits[c >> 4];
            out_ += kDigits[c & 15];
        } else {
            out_.append(text.data(), length);
        }
        text.remove_prefix(length);
    }
    out_ += '"';
}

JsonLine& JsonLine::text(std::string_view key, std::string_view value)
{
    name(key);
    quoted(value);
    return *this;
}

JsonLine& JsonLine::nullableText(std::string_view key, const std::optional<std::string>& value)
{
    return value ? text(key, *value) : null(key);
}

JsonLine& JsonLine::boolean(std::string_view key, bool value)
{
    name(key);
    out_ += value ? "true" : "false";
    return *this;
}

JsonLine& JsonLine::null(std::string_view key)
{
    name(key);
    out_ += "null";
    return *this;
}

JsonLine& JsonLine::pair(std::string_view key, std::int64_t first, std::int64_t second)
{
    open(key, '[');
    integer(first);
    out_ += ',';
    integer(second);
    return close(']');
}

JsonLine& JsonLine::element(std::string_view text)
{
    separate();
    quoted(text);
    return *this;
}

JsonLine& JsonLine::open(std::string_view key, char bracket)
{
    name(key);
    out_ += bracket;
    return *this;
}

JsonLine& JsonLine::open(char bracket)
{
    separate();
    out_ += bracket;
    return *this;
}

JsonLine& JsonLine::close(char bracket)
{
    out_ += bracket;
    return *this;
}

std::string JsonLine::finish()
{
    out_ += "}\n";
    return std::move(out_);
}

} // namespace shotdate
