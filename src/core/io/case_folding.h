#pragma once

#include <string>

namespace shotdate {

// Whether names in `folder` that differ only in letter case lead to one
// file: FAT, exFAT and NTFS (a memory card, a USB disk), an ext4 or tmpfs
// folder with casefold, or anything else a probe shows to fold (a FUSE or
// network mount). The probe creates a hidden file of our temporary-name
// form, looks it up in upper case and removes it; without `mayProbe` (a dry
// run writes nothing) only the file system type and the folder's flag count.
// When the folder cannot be opened or the probe cannot be made the answer
// is true: a needless "(2)" costs nothing, a replaced photo costs the photo.
bool folderFoldsCase(const std::string& folder, bool mayProbe);

} // namespace shotdate
