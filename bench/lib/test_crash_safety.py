#!/usr/bin/env python3
"""Tests of crash_safety.py on hand-written strace logs, one per way of
replacing a file. Run: python3 -m unittest discover -s bench/lib"""

import os
import subprocess
import sys
import tempfile
import unittest

JUDGE = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'crash_safety.py')

# A new temporary file beside the target, written.
TEMP = '''1 openat(AT_FDCWD</d>, ".t", O_WRONLY|O_CREAT|O_EXCL, 0600) = 3</d/.t>
1 write(3</d/.t>, ""..., 100) = 100
'''

# (name, log, targets, expected verdict)
CASES = [
    ('fsync, then rename',
     TEMP + '''1 fsync(3</d/.t>) = 0
1 renameat(4</d>, ".t", 4</d>, "a.jpg") = 0
''', ['a.jpg'], 'yes: temp, fsync, rename'),

    ('one syncfs for a batch, finished before the renames, on another thread',
     '''1 openat(AT_FDCWD</d>, ".t1", O_WRONLY|O_CREAT|O_EXCL, 0600) = 3</d/.t1>
1 write(3</d/.t1>, ""..., 100) = 100
1 openat(AT_FDCWD</d>, ".t2", O_WRONLY|O_CREAT|O_EXCL, 0600) = 4</d/.t2>
2 write(4</d/.t2>, ""..., 100 <unfinished ...>
1 syncfs(3</d/.t1> <unfinished ...>
2 <... write resumed>) = 100
1 <... syncfs resumed>) = 0
1 rename(".t1", "a.jpg") = 0
1 renameat2(AT_FDCWD</d>, ".t2", AT_FDCWD</d>, "b.jpg", RENAME_NOREPLACE) = 0
''', ['a.jpg', 'b.jpg'], 'yes: temp, syncfs, rename'),

    ('a write after the sync',
     TEMP + '''1 fdatasync(3</d/.t>) = 0
1 pwrite64(3</d/.t>, ""..., 40, 100) = 40
1 rename(".t", "a.jpg") = 0
''', ['a.jpg'], 'no: renamed without a sync first'),

    ('a sync of another file only',
     TEMP + '''1 fsync(5</d/.other>) = 0
1 rename(".t", "a.jpg") = 0
''', ['a.jpg'], 'no: renamed without a sync first'),

    ('a sync that failed',
     TEMP + '''1 fsync(3</d/.t>) = -1 EIO (Input/output error)
1 rename(".t", "a.jpg") = 0
''', ['a.jpg'], 'no: renamed without a sync first'),

    ('shared extents cloned in, synced, renamed',
     '''1 openat(AT_FDCWD</d>, ".t", O_WRONLY|O_CREAT|O_EXCL, 0600) = 3</d/.t>
1 ioctl(3</d/.t>, FICLONERANGE, {src_fd=4</d/a.jpg>, src_offset=0}) = 0
1 pwrite64(3</d/.t>, ""..., 40, 100) = 40
1 fsync(3</d/.t>) = 0
1 rename(".t", "a.jpg") = 0
''', ['a.jpg'], 'yes: temp, fsync, rename'),

    ('the original removed first',
     TEMP + '''1 fsync(3</d/.t>) = 0
1 unlinkat(AT_FDCWD</d>, "a.jpg", 0) = 0
1 rename(".t", "a.jpg") = 0
''', ['a.jpg'], 'no: removes the original before the rename'),

    ('truncated and written again (exiv2)',
     '''1 openat(AT_FDCWD</d>, "a.jpg", O_RDWR|O_CREAT|O_TRUNC, 0666) = 3</d/a.jpg>
1 write(3</d/a.jpg>, ""..., 4096) = 4096
''', ['a.jpg'], 'no: rewrites the file in place'),

    ('copied back into the original (exiftool in place)',
     '''1 openat(AT_FDCWD</d>, "a.jpg_exiftool_tmp", O_WRONLY|O_CREAT|O_TRUNC, 0666) = 5</d/a.jpg_exiftool_tmp>
1 write(5</d/a.jpg_exiftool_tmp>, ""..., 8192) = 8192
1 openat(AT_FDCWD</d>, "a.jpg", O_RDWR|O_CLOEXEC) = 5</d/a.jpg>
1 write(5</d/a.jpg>, ""..., 8192) = 8192
1 ftruncate(5</d/a.jpg>, 8192) = 0
1 unlink("a.jpg_exiftool_tmp") = 0
''', ['a.jpg'], 'no: rewrites the file in place'),

    ('moved aside and written under its name (jhead)',
     '''1 rename("a.jpg", "a.jpg.t") = 0
1 openat(AT_FDCWD</d>, "a.jpg", O_WRONLY|O_CREAT|O_TRUNC, 0666) = 3</d/a.jpg>
1 write(3</d/a.jpg>, ""..., 4096) = 4096
1 unlink("a.jpg.t") = 0
''', ['a.jpg'], 'no: rewrites the file in place'),

    ('patched in place and synced',
     '''1 openat(AT_FDCWD</d>, "a.jpg", O_RDWR) = 3</d/a.jpg>
1 pwrite64(3</d/a.jpg>, ""..., 40, 100) = 40
1 fsync(3</d/a.jpg>) = 0
''', ['a.jpg'], 'no: rewrites the file in place'),

    ('journaled, patched within a page, synced',
     '''1 openat(AT_FDCWD</s>, "r.jsonl", O_WRONLY|O_CREAT|O_EXCL|O_APPEND, 0600) = 5</s/r.jsonl>
1 write(5</s/r.jsonl>, ""..., 300) = 300
1 fsync(5</s/r.jsonl>) = 0
1 openat(4</d>, "a.jpg", O_RDWR|O_NOFOLLOW) = 3</d/a.jpg>
1 pwrite64(3</d/a.jpg>, ""..., 40, 100) = 40
1 syncfs(3</d/a.jpg>) = 0
''', ['a.jpg'], 'yes: journal, pwrite, syncfs'),

    ('patched before its journal was durable',
     '''1 write(5</s/r.jsonl>, ""..., 300) = 300
1 pwrite64(3</d/a.jpg>, ""..., 40, 100) = 40
1 fsync(5</s/r.jsonl>) = 0
1 syncfs(3</d/a.jpg>) = 0
''', ['a.jpg'], 'no: rewrites the file in place'),

    ('a journaled patch across a page boundary',
     '''1 write(5</s/r.jsonl>, ""..., 300) = 300
1 fsync(5</s/r.jsonl>) = 0
1 pwrite64(3</d/a.jpg>, ""..., 40, 4080) = 40
1 fsync(3</d/a.jpg>) = 0
''', ['a.jpg'], 'no: rewrites the file in place'),

    ('a file the run never replaced',
     '''1 openat(AT_FDCWD</d>, "a.jpg", O_RDONLY) = 3</d/a.jpg>
''', ['a.jpg'], 'unknown: the file was not replaced'),

    ('one safe file and one unsafe',
     TEMP + '''1 fsync(3</d/.t>) = 0
1 rename(".t", "a.jpg") = 0
1 openat(AT_FDCWD</d>, "b.jpg", O_WRONLY|O_TRUNC) = 4</d/b.jpg>
''', ['a.jpg', 'b.jpg'], 'no: rewrites the file in place'),
]


class CrashSafetyVerdicts(unittest.TestCase):
    def test_verdicts(self):
        for name, log, targets, expected in CASES:
            with self.subTest(name), tempfile.NamedTemporaryFile('w', suffix='.strace') as f:
                f.write(log)
                f.flush()
                out = subprocess.run([sys.executable, JUDGE, f.name, '/d'] + ['/d/' + t for t in targets],
                                     capture_output=True, text=True, check=True).stdout.strip()
                self.assertEqual(out, expected)


if __name__ == '__main__':
    unittest.main()
