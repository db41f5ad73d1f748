#include "run/output_names.h"

#include "io/held_folder.h"
#include "io/path_text.h"

#include <clocale>
#include <cwctype>
#include <locale.h>

namespace shotdate {

namespace {

// One code point of UTF-8 at `at`: its value and length, or length 0 when
// the bytes there are not a well-formed sequence.
std::pair<char32_t, std::size_t> decodeUtf8(const std::string& text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = lead < 0x80 ? 1
        : (lead >> 5) == 0x6         ? 2
        : (lead >> 4) == 0xE         ? 3
        : (lead >> 3) == 0x1E        ? 4
                                     : 0;
    if (length == 0 || at + length > text.size())
        return {0, 0};
    char32_t value = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return {0, 0};
        value = (value << 6) | (byte(at + i) & 0x3F);
    }
    return {value, length};
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// Unicode's simple lower case, whatever the process's own locale is; with
// no UTF-8 locale at all, ASCII letters only.
char32_t lowerCase(char32_t c)
{
    static const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
    if (c < 0x80)
        return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
    return utf8 ? char32_t(::towlower_l(wint_t(c), utf8)) : c;
}

} // namespace

std::string foldedCase(const std::string& path)
{
    std::string out;
    out.reserve(path.size());
    for (std::size_t at = 0; at < path.size();) {
        const auto [c, length] = decodeUtf8(path, at);
        if (length == 0) {
            out += path[at++];
            continue;
        }
        appendUtf8(out, lowerCase(c));
        at += length;
    }
    return out;
}

std::string numberedFileName(const std::string& fileName, int number)
{
    const std::string suffix = " (" + std::to_string(number) + ")";
    const auto dot = fileName.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return fileName + suffix;
    return fileName.substr(0, dot) + suffix + fileName.substr(dot);
}

bool caseCouldMatter(const std::vector<std::string>& outputPaths)
{
    std::set<std::string> exact;
    std::set<std::string> folded;
    for (const auto& path : outputPaths) {
        if (!exact.insert(path).second || !folded.insert(foldedCase(path)).second)
            return true;
    }
    return false;
}

std::string plannedOutputPath(const RunSettings& settings, const TargetList& list, const Target& target)
{
    if (!settings.outputFolder)
        return target.inPath;
    if (list.singleFile)
        return joinPath(*settings.outputFolder, lastPathComponent(target.inPath)); // the input path itself
    return joinPath(*settings.outputFolder, settings.subfolders ? lastPathComponent(target.relative) : target.relative);
}

OutputClaims::OutputClaims(const std::vector<TargetList>& lists, int outputFd, bool foldsCase)
    : outputFd_(outputFd), foldsCase_(foldsCase)
{
    for (const auto& list : lists)
        for (const auto& target : list.targets)
            if (!target.passOver)
                inputs_.insert(target.identity);
}

bool OutputClaims::taken(const std::string& name) const
{
    if (names_.count(key(name)))
        return true;
    struct stat st {};
    if (outputFd_ < 0 || !statEntry(outputFd_, name, st, true))
        return false;
    const FileIdentity id{st.st_dev, st.st_ino};
    return inputs_.count(id) || written_.count(id);
}

void OutputClaims::claimWritten(const std::string& name)
{
    struct stat st {};
    if (outputFd_ >= 0 && statEntry(outputFd_, name, st, true))
        written_.insert(FileIdentity{st.st_dev, st.st_ino});
}

} // namespace shotdate
