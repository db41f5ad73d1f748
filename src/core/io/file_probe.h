#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>
#include <utility>

namespace shotdate {

// What the run asks of paths it does not open: their state, identity and
// true location.

// stat() (or lstat() with followLink false); false with errno set on failure.
bool statPath(const std::string& path, struct stat& st, bool followLink = true);

// Whether the process may create files in `folder` (write and search rights).
bool folderWritable(const std::string& folder);

using FileIdentity = std::pair<dev_t, ino_t>;

// The device and inode `path` leads to, following links.
std::optional<FileIdentity> identityOf(const std::string& path);

// `path` with every link and "..": the file a rewrite in place replaces;
// nullopt when it cannot be resolved.
std::optional<std::string> resolvedPath(const std::string& path);

} // namespace shotdate
