# The command line of every measured tool. Sourced by bench/run.
#
# Each shifts the EXIF DateTimeOriginal and CreateDate (0x9003, 0x9004) of
# every photo in a folder by one hour. exiftool is told the ExifIFD group:
# without it, it also shifts the XMP copies of those dates, which the others
# leave alone. exiv2 and jhead have no way to leave IFD0 DateTime (0x0132)
# alone, so they change one tag more than the rest.
# shellcheck disable=SC2034  # its globals are read by bench/run and the other parts

ALL_TOOLS=(yardstick sd-inplace sd-rename sd-alldates sd-output sd-window sd-window-output exiftool exiv2 jhead)
SHIFT=+01:00:00

tool_label() {
    case $1 in
        yardstick) echo 'cp -r + sync (yardstick)' ;;
        sd-inplace) echo "shotdate-cli --shift $SHIFT" ;;
        sd-rename) echo '  the same, without a journal [3]' ;;
        sd-alldates) echo "  the same, with --all-dates [2]" ;;
        sd-output) echo "shotdate-cli --shift $SHIFT -o DIR" ;;
        sd-window) echo 'window run (Start, headless)' ;;
        sd-window-output) echo '  the same, into an output folder' ;;
        exiftool) echo 'exiftool -overwrite_original_in_place' ;;
        exiv2) echo "exiv2 -a $SHIFT ad [1]" ;;
        jhead) echo 'jhead -ta+1:00 [1]' ;;
    esac
}

tool_program() {
    case $1 in
        yardstick) echo cp ;;
        sd-inplace | sd-rename | sd-alldates | sd-output) echo "$CLI" ;;
        sd-window | sd-window-output) echo "${WINDOW:-window_run_bench}" ;;
        *) echo "$1" ;;
    esac
}

tool_available() { command -v "$(tool_program "$1")" >/dev/null 2>&1; }

# jhead reads JPEG only. Every copy of the date is measured on the JPEG set,
# against the in-place run of the same set that, like it, writes whole files.
tool_handles_set() {
    [[ $1 != jhead || $2 != tiff ]] && [[ $1 != sd-alldates && $1 != sd-rename && $1 != sd-window-output || $2 == jpeg ]]
}

# Where the tool's results are: the copy it changed, or the output folder.
tool_result_dir() {
    case $1 in
        sd-output | sd-window-output) echo "$OUT" ;;
        *) echo "$RUN" ;;
    esac
}

# Sets CMD (the command) and CWD (where it runs) for TOOL on set SET, whose
# fresh copy is $RUN. The yardstick copies $RUN into $OUT, where the output
# folder run writes too.
tool_command() {
    local tool=$1 set=$2 files=()
    CWD=$RUN
    case $tool in
        yardstick)
            CWD=$WORK
            CMD=(sh -c 'cp -r "$1" "$2" && sync' yardstick "$RUN" "$OUT/copy")
            ;;
        sd-inplace) CMD=("$CLI" -q --shift "$SHIFT" "$RUN") ;;
        # With no journal to make a patch crash-safe, every file takes the
        # temporary-and-rename path, as --all-dates runs do.
        sd-rename) CMD=(env XDG_STATE_HOME=/dev/null/none "$CLI" -q --shift "$SHIFT" "$RUN") ;;
        sd-alldates) CMD=("$CLI" -q --shift "$SHIFT" --all-dates "$RUN") ;;
        sd-output) CMD=("$CLI" -q --shift "$SHIFT" -o "$OUT" "$RUN") ;;
        # The window's own run path: Start pressed on a folder, in place,
        # one hour forward, with every widget and the worker thread.
        sd-window) CMD=("$WINDOW" "$RUN") ;;
        sd-window-output) CMD=("$WINDOW" "$RUN" "$OUT") ;;
        exiftool)
            CMD=(exiftool -q -q -overwrite_original_in_place
                 "-ExifIFD:DateTimeOriginal+=0:0:0 1:0:0" "-ExifIFD:CreateDate+=0:0:0 1:0:0" .)
            ;;
        exiv2)
            mapfile -t files < <(names_in "$DATA/$set")
            CMD=(exiv2 -q -a "$SHIFT" ad "${files[@]}")
            ;;
        jhead)
            mapfile -t files < <({ names_in "$DATA/$set" '*.jpg'; names_in "$DATA/$set" '*.jpeg'; } | sort)
            CMD=(jhead -q -ta+1:00 "${files[@]}")
            ;;
    esac
}

# Whether an exit status is what the tool gives on set SET when it works.
# The corpus holds files that every tool must refuse, so there a partial
# success (1) is the expected outcome; the other tools' statuses there are
# theirs to judge.
tool_status_ok() {
    local tool=$1 set=$2 status=$3
    if [[ $set == corpus ]]; then
        [[ $tool != sd-* ]] || ((status <= 1))
    else
        ((status == 0))
    fi
}
