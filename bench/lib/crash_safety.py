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

Prints one line: "yes: temp, BARRIER, rename" or "no: REASON" (the first
unsafe target's reason), or "unknown: REASON" when the log shows nothing.
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
    for target in targets:
        problem, barrier = judge(evts, target)
        if problem:
            print(problem)
            return 0
        barriers.add(barrier)
    print('yes: temp, ' + '/'.join(sorted(barriers)) + ', rename')
    return 0


if __name__ == '__main__':
    sys.exit(main())
