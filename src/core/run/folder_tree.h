#pragma once

#include "io/file_probe.h"

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace shotdate {

// The folders of one run. Each is opened once by name from its parent (the
// root by the path the user gave) and its identity noted; from then on the
// run reads and writes only through descriptors. A folder is held while
// targets below it are still waiting; one set aside to spare descriptors is
// opened again the same way and must still be the folder the listing saw.
class FolderTree {
public:
    using Id = std::size_t;
    // The default limit on descriptors is 1024: a run over ten thousand
    // folders holds at most this many, plus those on the current path.
    static constexpr std::size_t kMaxHeld = 128;

    FolderTree() = default;
    ~FolderTree();
    FolderTree(const FolderTree&) = delete;
    FolderTree& operator=(const FolderTree&) = delete;

    // Takes ownership of `fd`. The root is always Id 0.
    Id addRoot(const std::string& path, int fd);
    // A subfolder opened from `parent`; takes ownership of `fd`, which may
    // be closed at once when too many are held.
    Id addChild(Id parent, const std::string& name, int fd);
    // The subfolder `name` of `parent`: the one already known, or opened now
    // (never through a link). False with errno set when it cannot be opened.
    bool child(Id parent, const std::string& name, Id& out);

    bool empty() const { return nodes_.empty(); }
    const std::string& path(Id id) const { return nodes_[id].path; }
    FileIdentity identity(Id id) const { return nodes_[id].identity; }

    // The folder's descriptor, opened again when it was set aside; -1 when
    // the folder is gone (removed, replaced, unreadable), with its errno.
    int descriptor(Id id);
    int goneError(Id id) const { return nodes_[id].error; }
    // From now on the folder counts as gone (an I/O error in it, say).
    void markGone(Id id, int error);

    // One more target below `id` waits / is done with. A folder with none
    // left is closed.
    void addWork(Id id);
    void finishWork(Id id);
    // Sets the folder aside when more than kMaxHeld are held (it is opened
    // again when needed); never the root.
    void trim(Id id);
    // Closes every folder no target waits for (after the listing).
    void releaseIdle();
    // Closes every folder, the root too: each opens again when asked for,
    // and only as the very folder that was listed.
    void setAside();

private:
    struct Node {
        std::size_t parent;
        std::string name;
        std::string path; // for reports only: never opened by it after the root
        FileIdentity identity{};
        int fd = -1;
        std::size_t work = 0;
        bool gone = false;
        int error = 0;
    };
    static constexpr std::size_t kNoParent = std::size_t(-1);

    Id add(Node node);
    void close(Node& node);

    std::vector<Node> nodes_;
    std::map<std::pair<Id, std::string>, Id> children_;
    std::size_t held_ = 0;
};

} // namespace shotdate
