#include "io/path_text.h"

namespace shotdate {

namespace {

std::string_view withoutTrailingSlashes(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    return path;
}

} // namespace

std::string joinPath(std::string_view base, std::string_view component)
{
    while (!component.empty() && component.front() == '/')
        component.remove_prefix(1);
    base = withoutTrailingSlashes(base);
    if (base.empty())
        return std::string(component);
    if (component.empty())
        return std::string(base);
    std::string joined(base);
    if (joined.back() != '/')
        joined += '/';
    joined += component;
    return joined;
}

std::string lastPathComponent(std::string_view path)
{
    path = withoutTrailingSlashes(path);
    if (path == "/")
        return "/";
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string parentPath(std::string_view path)
{
    path = withoutTrailingSlashes(path);
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return ".";
    if (slash == 0)
        return "/";
    return std::string(withoutTrailingSlashes(path.substr(0, slash)));
}

} // namespace shotdate
