#include "run/folder_tree.h"

#include "io/held_folder.h"
#include "io/path_text.h"

#include <cerrno>

namespace shotdate {

FolderTree::~FolderTree()
{
    for (Node& node : nodes_)
        close(node);
}

void FolderTree::close(Node& node)
{
    if (node.fd < 0)
        return;
    closeFolder(node.fd);
    node.fd = -1;
    --held_;
}

FolderTree::Id FolderTree::add(Node node)
{
    const auto identity = identityOfDescriptor(node.fd);
    if (!identity) {
        node.gone = true;
        node.error = errno;
    } else {
        node.identity = *identity;
    }
    ++held_;
    nodes_.push_back(std::move(node));
    return nodes_.size() - 1;
}

FolderTree::Id FolderTree::addRoot(const std::string& path, int fd)
{
    return add(Node{kNoParent, {}, path, {}, fd});
}

FolderTree::Id FolderTree::addChild(Id parent, const std::string& name, int fd)
{
    const Id id = add(Node{parent, name, joinPath(nodes_[parent].path, name), {}, fd});
    children_[{parent, name}] = id;
    if (held_ > kMaxHeld)
        close(nodes_[id]);
    return id;
}

bool FolderTree::child(Id parent, const std::string& name, Id& out)
{
    if (const auto found = children_.find({parent, name}); found != children_.end()) {
        out = found->second;
        return true;
    }
    const int parentFd = descriptor(parent);
    if (parentFd < 0) {
        errno = goneError(parent);
        return false;
    }
    const int fd = openSubfolder(parentFd, name);
    if (fd < 0)
        return false;
    out = addChild(parent, name, fd);
    return true;
}

int FolderTree::descriptor(Id id)
{
    Node& node = nodes_[id];
    if (node.gone)
        return -1;
    if (node.fd >= 0)
        return node.fd;
    // The root has no parent to look it up in: its path again, which the
    // identity check below holds to the folder that was listed.
    const int parentFd = node.parent == kNoParent ? -1 : descriptor(node.parent);
    if (node.parent != kNoParent && parentFd < 0) {
        markGone(id, nodes_[node.parent].error);
        return -1;
    }
    const int fd = node.parent == kNoParent ? openFolderByPath(node.path) : openSubfolder(parentFd, node.name);
    if (fd < 0) {
        markGone(id, errno);
        return -1;
    }
    // Another folder under the same name (renamed away and replaced, say)
    // is not the one whose entries were listed.
    if (identityOfDescriptor(fd) != std::optional(node.identity)) {
        closeFolder(fd);
        markGone(id, ESTALE);
        return -1;
    }
    node.fd = fd;
    ++held_;
    return fd;
}

void FolderTree::markGone(Id id, int error)
{
    Node& node = nodes_[id];
    close(node);
    node.gone = true;
    node.error = error != 0 ? error : ENOENT;
}

void FolderTree::addWork(Id id)
{
    for (std::size_t at = id; at != kNoParent; at = nodes_[at].parent)
        ++nodes_[at].work;
}

void FolderTree::finishWork(Id id)
{
    for (std::size_t at = id; at != kNoParent; at = nodes_[at].parent) {
        Node& node = nodes_[at];
        if (node.work > 0 && --node.work == 0)
            close(node);
    }
}

void FolderTree::trim(Id id)
{
    if (id != 0 && held_ > kMaxHeld)
        close(nodes_[id]);
}

void FolderTree::setAside()
{
    for (Node& node : nodes_)
        close(node);
}

void FolderTree::releaseIdle()
{
    for (std::size_t i = 1; i < nodes_.size(); ++i)
        if (nodes_[i].work == 0)
            close(nodes_[i]);
}

} // namespace shotdate
