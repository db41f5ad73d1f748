#!/usr/bin/perl
# Prints a Nikon-style (type 3) maker note on stdout, for exiftool's
# '-MakerNotes<=FILE'. exiftool copies maker notes but never creates one, and
# a camera file is not always at hand, so the benchmark builds its own.
#
# Type 3 carries its own TIFF header, so its offsets stay valid wherever a
# writer moves the block. The opaque 0x00fe entry stands in for the tens of
# kilobytes of private data a real camera stores there; a rewrite must carry
# it over untouched like any other byte.
use strict;
use warnings;

my $opaque_size = 24 * 1024;

my @entries;   # [tag, type, count, inline value or out-of-line bytes]
sub entry { push @entries, [@_]; }

entry(0x0001, 7, 4, '0210');                          # MakerNoteVersion
entry(0x0002, 3, 2, pack('nn', 0, 200));              # ISO
entry(0x0004, 2, 7, "FINE  \0");                      # Quality
entry(0x0005, 2, 13, "AUTO        \0");               # WhiteBalance
entry(0x0007, 2, 7, "AF-C  \0");                      # FocusMode
my $opaque = join('', map { chr(($_ * 131 + 7) & 0xff) } 0 .. $opaque_size - 1);
entry(0x00fe, 7, length($opaque), $opaque);

my $ifd_offset = 8;
my $data_offset = $ifd_offset + 2 + 12 * @entries + 4;
my ($ifd, $data) = (pack('n', scalar @entries), '');
for my $e (@entries) {
    my ($tag, $type, $count, $bytes) = @$e;
    my $field;
    if (length($bytes) <= 4) {
        $field = $bytes . ("\0" x (4 - length($bytes)));
    } else {
        $field = pack('N', $data_offset + length($data));
        $data .= $bytes;
        $data .= "\0" if length($data) % 2;   # values start on word boundaries
    }
    $ifd .= pack('nnN', $tag, $type, $count) . $field;
}
$ifd .= pack('N', 0);

binmode STDOUT;
print "Nikon\0\x02\x10\0\0", "MM\0\x2a", pack('N', $ifd_offset), $ifd, $data;
