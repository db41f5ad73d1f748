#include "run/target_list.h"

#include "io/file_probe.h"
#include "io/path_text.h"
#include "io/safe_replace.h"

#include <algorithm>

namespace shotdate {

namespace {

class Lister {
public:
    Lister(const std::string& root, bool deep, TargetList& list) : root_(root), deep_(deep), list_(list) {}

    // Answers whether the folder could be read at all.
    bool listFolder(const std::string& relative)
    {
        const std::string folder = relative.empty() ? root_ : joinPath(root_, relative);
        const FolderNames entries = readFolderNames(folder);
        if (!entries.opened) {
            list_.problems.push_back({folder, entries.error});
            return false;
        }
        std::vector<std::string> subfolders;
        for (const std::string& name : entries.names) {
            ++entriesSeen_;
            const std::string entryRelative = relative.empty() ? name : relative + "/" + name;
            if (classify(entryRelative, name))
                subfolders.push_back(entryRelative);
        }
        if (entries.error != 0)
            list_.problems.push_back({folder, entries.error});
        if (deep_)
            for (const auto& sub : subfolders)
                listFolder(sub);
        return true;
    }

    std::size_t entriesSeen() const { return entriesSeen_; }

private:
    // Adds the entry as a target when it is one; answers true for a real
    // folder, which a deep listing enters.
    bool classify(const std::string& relative, const std::string& name)
    {
        const std::string path = joinPath(root_, relative);
        struct stat st {};
        if (isOurTemporaryName(name))
            return false; // another run's unfinished file, even one renamed away meanwhile
        if (!statPath(path, st, false)) {
            // Gone between readdir and lstat: let the rewrite report it.
            list_.targets.push_back({relative, path, false, Reason::Rewritten});
            return false;
        }
        if (S_ISDIR(st.st_mode))
            return true;
        if (S_ISLNK(st.st_mode)) {
            struct stat pointed {};
            if (!statPath(path, pointed))
                list_.targets.push_back({relative, path, true, Reason::DanglingLink});
            else if (S_ISREG(pointed.st_mode))
                list_.targets.push_back({relative, path, false, Reason::Rewritten});
            else if (!S_ISDIR(pointed.st_mode)) // a linked folder is neither entered nor listed
                list_.targets.push_back({relative, path, true, Reason::NotRegularFile});
            return false;
        }
        if (S_ISREG(st.st_mode)) {
            list_.targets.push_back({relative, path, false, Reason::Rewritten});
            return false;
        }
        list_.targets.push_back({relative, path, true, Reason::NotRegularFile});
        return false;
    }

    const std::string& root_;
    bool deep_;
    TargetList& list_;
    std::size_t entriesSeen_ = 0;
};

} // namespace

TargetList getIchiran(const std::string& inputPath, bool subfolders)
{
    TargetList list;
    struct stat st {};
    const bool isFolder = statPath(inputPath, st) && S_ISDIR(st.st_mode);
    if (isFolder) {
        Lister lister(inputPath, subfolders, list);
        if (lister.listFolder({}) && lister.entriesSeen() > 0) {
            std::sort(list.targets.begin(), list.targets.end(),
                      [](const Target& a, const Target& b) { return a.relative < b.relative; });
            return list;
        }
        // An empty or unreadable folder makes a run on the folder itself,
        // and a folder is never a target.
        list.singleFile = true;
        return list;
    }

    list.singleFile = true;
    Target only{inputPath, inputPath, false, Reason::Rewritten};
    struct stat own {};
    if (statPath(inputPath, own, false)) {
        if (!statPath(inputPath, st)) {
            only.passOver = true;
            only.reason = Reason::DanglingLink;
        } else if (!S_ISREG(st.st_mode)) {
            only.passOver = true;
            only.reason = Reason::NotRegularFile;
        }
    }
    list.targets.push_back(std::move(only));
    return list;
}

} // namespace shotdate
