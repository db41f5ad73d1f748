#!/usr/bin/env python3
"""Judges from an strace log whether a tool replaced its files crash-safely.

Usage: crash_safety.py LOG CWD TARGET...

The log comes from `strace -f -qq -y -s 0 -e signal=none`, so every file
descriptor carries the path it was open on. A target counts as crash-safe
when its new content was written to another file, made durable (fsync or
fdatasync on that file, or a syncfs/sync after its last write) and only then
renamed over the target, and the target itself was neither written nor
removed before that rename. A crash at any moment then leaves either the old
file or the new one, never a half-written one or none.

A target patched in place counts too when it is journaled: one pwrite64
within one 4 KiB page, after a journal (a .jsonl file) was written and made
durable, and followed by a barrier. A signal then leaves it old or new, and
power loss at worst a torn page the journal holds both sides of.

Prints one line: "yes: temp, BARRIER, rename" (or "yes: journal, pwrite,
BARRIER" when every target was patched) or "no: REASON" (the first unsafe
target's reason), or "unknown: REASON" when the log shows nothing.
"""

import os
import re
import sys

AT_FDCWD = re.compile(r'AT_FDCWD<([^>]*)>')
FD_PATH = re.compile(r'(?:\d+|AT_FDCWD)<([^>]*)>')
QUOTED = re.compile(r'"((?:[^"\\]|\\.)*)"')
LINE = re.compile(r'^(\d+)\s+(.*)$')
RESUMED = re.compile(r'^<\.\.\. (\w+) resumed>(.*)$')
CALL = re.compile(r'^(\w+)\((.*)\)\s+=\s+(-?\d+|\?)')

DATA_WRITES = {'write', 'pwrite64', 'writev', 'pwritev', 'pwritev2', 'ftruncate', 'fallocate'}
FILE_BARRIERS = {'fsync', 'fdatasync'}
GLOBAL_BARRIERS = {'syncfs', 'sync'}
RENAMES = {'rename', 'renameat', 'renameat2'}
UNLINKS = {'unlink', 'unlinkat'}
CLONE_IOCTLS = ('FICLONE', 'BTRFS_IOC_CLONE')
PWRITE_SPAN = re.compile(r',\s*(\d+),\s*(\d+)$')
PAGE = 4096


def clean(path):
    if path.endswith(' (deleted)'):
        path = path[: -len(' (deleted)')]
    return os.path.normpath(path)


def calls(lines):
    """Yields (index, pid, name, args, result) in completion order, joining
    calls that strace split around another thread's."""
    pending = {}
    for index, raw in enumerate(lines):
        m = LINE.match(raw.rstrip('\n'))
        if not m:
            continue
        pid, rest = m.group(1), m.group(2)
        if rest.endswith('<unfinished ...>'):
            pending[pid] = rest[: -len('<unfinished ...>')]
            continue
        r = RESUMED.match(rest)
        if r:
            rest = pending.pop(pid, r.group(1) + '(') + r.group(2)
        c = CALL.match(rest)
        if c:
            yield index, pid, c.group(1), c.group(2), c.group(3)


def events(log_path, start_cwd):
    """Turns the log into (index, kind, detail) with absolute paths."""
    cwd = {}
    out = []
    with open(log_path, encoding='utf-8', errors='replace') as f:
        for index, pid, name, args, result in calls(f):
            seen_cwd = AT_FDCWD.search(args)
            if seen_cwd:
                cwd[pid] = clean(seen_cwd.group(1))
            here = cwd.setdefault(pid, start_cwd)
            if result == '?' or result.startswith('-'):
                continue
            fds = [clean(p) for p in FD_PATH.findall(args)]
            names = QUOTED.findall(args)

            def resolve(name_, base=here):
                return clean(name_ if name_.startswith('/') else os.path.join(base, name_))

            if name == 'chdir' and names:
                cwd[pid] = resolve(names[0])
            elif name == 'fchdir' and fds:
                cwd[pid] = fds[0]
            elif name in ('open', 'openat', 'creat'):
                if names:
                    base = fds[0] if name == 'openat' and fds else here
                    path = resolve(names[0], base)
                    writes = 'O_WRONLY' in args or 'O_RDWR' in args or name == 'creat'
                    if writes and 'O_TRUNC' in args:
                        out.append((index, 'write', path))
                    if 'O_SYNC' in args or 'O_DSYNC' in args:
                        out.append((index, 'syncopen', path))
            elif name == 'pwrite64' and fds:
                span = PWRITE_SPAN.search(args)
                out.append((index, 'write', fds[0]))
                if span:
                    count, offset = int(span.group(1)), int(span.group(2))
                    out.append((index, 'pwrite', (fds[0], offset, count)))
            elif name in DATA_WRITES and fds:
                out.append((index, 'write', fds[0]))
            elif name == 'truncate' and names:
                out.append((index, 'write', resolve(names[0])))
            elif name == 'copy_file_range' and len(fds) >= 2:
                out.append((index, 'write', fds[1]))
            elif name == 'sendfile' and fds:
                out.append((index, 'write', fds[0]))
            elif name == 'ioctl' and fds and any(k in args for k in CLONE_IOCTLS):
                out.append((index, 'write', fds[0]))
            elif name in FILE_BARRIERS and fds:
                out.append((index, 'barrier', (name, fds[0])))
            elif name in GLOBAL_BARRIERS:
                out.append((index, 'barrier', (name, None)))
            elif name in RENAMES and len(names) >= 2:
                if name == 'rename':
                    src, dst = resolve(names[0]), resolve(names[1])
                else:
                    dirs = FD_PATH.findall(args)
                    src = resolve(names[0], clean(dirs[0]) if len(dirs) >= 1 else here)
                    dst = resolve(names[1], clean(dirs[1]) if len(dirs) >= 2 else here)
                out.append((index, 'rename', (src, dst)))
            elif name in UNLINKS and names:
                base = fds[0] if name == 'unlinkat' and fds else here
                out.append((index, 'unlink', resolve(names[0], base)))
    return out


def journaled_patch(evts, target):
    """The barrier that made a journaled one-page patch of `target` durable,
    or None when the target was not patched that way."""
    writes = [i for i, k, d in evts if k == 'write' and d == target]
    patches = [(i, d) for i, k, d in evts if k == 'pwrite' and d[0] == target]
    if len(writes) != 1 or len(patches) != 1 or patches[0][0] != writes[0]:
        return None
    at, (_, offset, count) = patches[0]
    if count == 0 or offset // PAGE != (offset + count - 1) // PAGE:
        return None
    journal_writes = [i for i, k, d in evts if k == 'write' and d.endswith('.jsonl') and i < at]
    if not journal_writes:
        return None
    journal = [d for i, k, d in evts if i == max(journal_writes) and k == 'write'][0]
    if not any(k == 'barrier' and max(journal_writes) < i < at and d[1] in (None, journal) for i, k, d in evts):
        return None
    for i, k, d in evts:
        if k == 'barrier' and i > at and d[1] in (None, target):
            return d[0]
    return None


def judge(evts, target):
    renames_in = [e for e in evts if e[1] == 'rename' and e[2][1] == target]
    replaced_at = renames_in[0][0] if renames_in else float('inf')
    if any(k == 'write' and d == target and i < replaced_at for i, k, d in evts):
        return 'no: rewrites the file in place', None
    if any(k == 'unlink' and d == target and i < replaced_at for i, k, d in evts):
        return 'no: removes the original before the rename', None
    if not renames_in:
        return 'unknown: the file was not replaced', None
    source = renames_in[0][2][0]
    touched = [i for i, k, d in evts if k in ('write', 'syncopen') and d == source and i < replaced_at]
    if any(k == 'syncopen' and d == source for i, k, d in evts if i < replaced_at):
        return None, 'O_SYNC'
    last_write = max(touched) if touched else -1
    for i, k, d in evts:
        if k == 'barrier' and last_write < i < replaced_at and (d[1] is None or d[1] == source):
            return None, d[0]
    return 'no: renamed without a sync first', None


def main():
    if len(sys.argv) < 4:
        sys.stderr.write(__doc__)
        return 2
    log, start_cwd, targets = sys.argv[1], clean(sys.argv[2]), [clean(t) for t in sys.argv[3:]]
    evts = events(log, start_cwd)
    barriers = set()
    patch_barriers = set()
    for target in targets:
        patched = journaled_patch(evts, target)
        if patched:
            patch_barriers.add(patched)
            continue
        problem, barrier = judge(evts, target)
        if problem:
            print(problem)
            return 0
        barriers.add(barrier)
    ways = []
    if barriers:
        ways.append('temp, ' + '/'.join(sorted(barriers)) + ', rename')
    if patch_barriers:
        ways.append('journal, pwrite, ' + '/'.join(sorted(patch_barriers)))
    print('yes: ' + '; '.join(ways))
    return 0


if __name__ == '__main__':
    sys.exit(main())
