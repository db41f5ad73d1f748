#include "run/target_list.h"

#include "io/held_folder.h"
#include "io/path_text.h"
#include "io/safe_replace.h"
#include "run/sidecar_rewrite.h"

#include <algorithm>
#include <cerrno>
#include <optional>

namespace shotdate {

namespace {

FileIdentity identityIn(const struct stat& st)
{
    return FileIdentity{st.st_dev, st.st_ino};
}

class Lister {
public:
    Lister(const std::string& root, bool deep, TargetList& list)
        : root_(root), deep_(deep), list_(list), tree_(*list.folders)
    {}

    // Answers whether the folder could be read at all.
    bool listFolder(FolderTree::Id folder, const std::string& relative)
    {
        const int fd = tree_.descriptor(folder);
        const FolderNames entries = fd >= 0 ? readFolderNamesAt(fd) : FolderNames{false, tree_.goneError(folder), {}};
        if (!entries.opened) {
            list_.problems.push_back({tree_.path(folder), entries.error});
            return false;
        }
        if (folder == 0)
            rootPath_ = descriptorPath(fd);
        std::vector<std::string> subfolders;
        for (const std::string& name : entries.names) {
            ++entriesSeen_;
            const std::string entryRelative = relative.empty() ? name : relative + "/" + name;
            if (classify(folder, fd, entryRelative, name))
                subfolders.push_back(name);
        }
        if (entries.error != 0)
            list_.problems.push_back({tree_.path(folder), entries.error});
        if (!deep_) {
            tree_.trim(folder);
            return true;
        }
        tree_.trim(folder); // its children reopen it as they need it
        for (const auto& name : subfolders) {
            FolderTree::Id sub = 0;
            // Opened without following links: a folder swapped for a link
            // since it was seen is a problem, not another tree to walk.
            if (tree_.child(folder, name, sub))
                listFolder(sub, relative.empty() ? name : relative + "/" + name);
            else
                list_.problems.push_back({joinPath(tree_.path(folder), name), errno});
        }
        return true;
    }

    std::size_t entriesSeen() const { return entriesSeen_; }

private:
    void add(const std::string& relative, FolderTree::Id folder, const std::string& name, FileIdentity identity)
    {
        list_.targets.push_back(
            {relative, joinPath(root_, relative), false, Reason::Rewritten, folder, name, identity});
        tree_.addWork(folder);
    }

    void passOver(const std::string& relative, Reason reason)
    {
        list_.targets.push_back({relative, joinPath(root_, relative), true, reason, 0, {}, {}});
    }

    // Adds the entry as a target when it is one; answers true for a real
    // folder, which a deep listing enters.
    bool classify(FolderTree::Id folder, int fd, const std::string& relative, const std::string& name)
    {
        struct stat st {};
        if (isOurTemporaryName(name))
            return false; // another run's unfinished file, even one renamed away meanwhile
        if (isSidecarName(name))
            return false; // changed with its photo, if at all
        if (!statEntry(fd, name, st)) {
            // Gone between readdir and lstat: let the rewrite report it.
            add(relative, folder, name, {});
            return false;
        }
        if (S_ISDIR(st.st_mode))
            return true;
        if (S_ISLNK(st.st_mode)) {
            struct stat pointed {};
            if (!statEntry(fd, name, pointed, true))
                passOver(relative, Reason::DanglingLink);
            else if (S_ISREG(pointed.st_mode))
                addLinked(relative, fd, name);
            else if (!S_ISDIR(pointed.st_mode)) // a linked folder is neither entered nor listed
                passOver(relative, Reason::NotRegularFile);
            return false;
        }
        if (S_ISREG(st.st_mode))
            add(relative, folder, name, identityIn(st));
        else
            passOver(relative, Reason::NotRegularFile);
        return false;
    }

    // A link is followed only to a file inside the input folder, and that
    // file is then reached like any other: folder by folder from the root,
    // none through a link.
    void addLinked(const std::string& relative, int fd, const std::string& name)
    {
        const auto resolved = resolveEntry(fd, name);
        std::optional<std::string> inside;
        if (resolved && rootPath_) {
            const std::string prefix = *rootPath_ == "/" ? "/" : *rootPath_ + "/";
            if (resolved->path.starts_with(prefix) && resolved->path.size() > prefix.size())
                inside = resolved->path.substr(prefix.size());
        }
        if (!inside) {
            passOver(relative, Reason::LinkOutside);
            return;
        }
        FolderTree::Id at = 0;
        std::size_t begin = 0;
        for (std::size_t slash; (slash = inside->find('/', begin)) != std::string::npos; begin = slash + 1) {
            if (!tree_.child(at, inside->substr(begin, slash - begin), at)) {
                passOver(relative, Reason::LinkOutside);
                return;
            }
        }
        const std::string fileName = inside->substr(begin);
        const int folderFd = tree_.descriptor(at);
        struct stat st {};
        if (folderFd < 0 || !statEntry(folderFd, fileName, st) || !S_ISREG(st.st_mode)
            || identityIn(st) != resolved->identity) {
            passOver(relative, Reason::LinkOutside); // moved since: no longer where the link led
            return;
        }
        add(relative, at, fileName, identityIn(st));
    }

    const std::string& root_;
    bool deep_;
    TargetList& list_;
    FolderTree& tree_;
    std::optional<std::string> rootPath_;
    std::size_t entriesSeen_ = 0;
};

// A path that is not a folder: the file itself, reached through the folder
// it lies in. A link here is the user's choice and is followed.
void listSingleFile(const std::string& inputPath, TargetList& list)
{
    list.singleFile = true;
    Target only{inputPath, inputPath, false, Reason::Rewritten, 0, {}, {}};
    struct stat own {};
    struct stat st {};
    std::string file = inputPath;
    if (statPath(inputPath, own, false)) {
        if (!statPath(inputPath, st)) {
            only.passOver = true;
            only.reason = Reason::DanglingLink;
        } else if (!S_ISREG(st.st_mode)) {
            only.passOver = true;
            only.reason = Reason::NotRegularFile;
        } else if (S_ISLNK(own.st_mode)) {
            file = resolvedPath(inputPath).value_or(inputPath);
        }
    }
    if (!only.passOver) {
        const int fd = openFolderByPath(parentPath(file));
        if (fd >= 0) {
            list.folders->addRoot(parentPath(file), fd);
        } else {
            only.reason = errno == ENOENT ? Reason::NotFound : Reason::Unreadable;
            only.passOver = true;
        }
        only.name = lastPathComponent(file);
        only.identity = FileIdentity{st.st_dev, st.st_ino};
        if (!only.passOver)
            list.folders->addWork(0);
    }
    list.targets.push_back(std::move(only));
}

} // namespace

TargetList getIchiran(const std::string& inputPath, bool subfolders)
{
    TargetList list;
    struct stat st {};
    const bool isFolder = statPath(inputPath, st) && S_ISDIR(st.st_mode);
    if (!isFolder) {
        listSingleFile(inputPath, list);
        return list;
    }
    const int rootFd = openFolderByPath(inputPath);
    if (rootFd < 0) {
        list.problems.push_back({inputPath, errno});
        list.singleFile = true;
        return list;
    }
    list.folders->addRoot(inputPath, rootFd);
    Lister lister(inputPath, subfolders, list);
    if (lister.listFolder(0, {}) && lister.entriesSeen() > 0) {
        std::sort(list.targets.begin(), list.targets.end(),
                  [](const Target& a, const Target& b) { return a.relative < b.relative; });
        list.folders->releaseIdle();
        return list;
    }
    // An empty or unreadable folder makes a run on the folder itself,
    // and a folder is never a target.
    list.singleFile = true;
    return list;
}

} // namespace shotdate
