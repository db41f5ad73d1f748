# Small helpers shared by the benchmark's parts. Sourced by bench/run.

# Progress goes to stderr, with the seconds since the start, so that stdout
# holds only the report.
BENCH_START=${EPOCHREALTIME/./}
say() { printf '[%6s] %s\n' "$(seconds_between "$BENCH_START" "${EPOCHREALTIME/./}" | sed 's/..$//')" "$*" >&2; }
die() { printf 'bench: %s\n' "$*" >&2; exit 2; }

# Clock readings are ${EPOCHREALTIME/./}, microseconds since the epoch, read
# without starting a process: on a busy machine every fork costs milliseconds.

# Seconds between two clock readings, to the millisecond.
seconds_between() {
    local us=$(($2 - $1))
    printf '%d.%03d' $((us / 1000000)) $((us % 1000000 / 1000))
}

# Median of the numbers on stdin, one per line.
median() {
    sort -g | awk '{ v[NR] = $1 } END {
        if (NR == 0) { print "nan"; exit }
        if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Largest number on stdin.
maximum() { sort -g | tail -n 1; }

# awk arithmetic for the report: calc 'a / b' with variables passed as -v.
# For ratios and the like: awk prints large whole numbers in e-notation.
calc() { local expr=$1; shift; awk "$@" "BEGIN { print $expr }"; }

# A byte count for people: 78 KiB, 4.8 MiB, 1440 MiB.
mib() {
    awk -v b="$1" 'BEGIN {
        if (b < 1048576) printf "%.0f KiB", b / 1024
        else printf (b >= 10 * 1048576 ? "%.0f MiB" : "%.1f MiB"), b / 1048576 }'
}

# Bytes of all regular files in a folder, hard links counted every time (the
# sets are hard links to a few photos, and every copy is a real file).
folder_bytes() { find "$1" -maxdepth 1 -type f -printf '%s\n' | awk '{ s += $1 } END { printf "%.0f\n", s }'; }
# The names in a folder, sorted; with a pattern, those matching it (case
# ignored).
names_in() { find "$1" -maxdepth 1 -type f -iname "${2:-*}" -printf '%f\n' | sort; }

folder_files() { find "$1" -maxdepth 1 -type f | wc -l; }
largest_file() { find "$1" -maxdepth 1 -type f -printf '%s\n' | sort -n | tail -n 1; }

# What the checks read from a photo, tab-separated as exiftool -T prints it:
# the two dates a run changes, then the other dates it must leave alone.
# exiftool's CreateDate in the ExifIFD is 0x9004.
# shellcheck disable=SC2034  # read by check.sh and data.sh
DATE_TAGS=(-FileName -ExifIFD:DateTimeOriginal -ExifIFD:CreateDate -IFD0:ModifyDate
           -XMP-exif:DateTimeOriginal -XMP-xmp:CreateDate)

# "2023:12:31 23:30:05" + 1 hour, in the same EXIF form. Works in UTC so
# that no daylight-saving change on this machine moves the expectation.
plus_one_hour() {
    local iso epoch
    iso="$(sed -E 's/^([0-9]{4}):([0-9]{2}):([0-9]{2})/\1-\2-\3/' <<<"$1")"
    epoch="$(TZ=UTC date -d "$iso" +%s)" || return 1
    TZ=UTC date -d "@$((epoch + 3600))" '+%Y:%m:%d %H:%M:%S'
}
