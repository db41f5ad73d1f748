# Prints the report (stdout) from the recorded figures. Sourced by bench/run.

MAIN_ROW='%-40s %8s %8s %7s %8s %9s  %-33s %s\n'

set_title() {
    case $1 in
        jpeg) echo "JPEG: $(folder_files "$DATA/jpeg") photos of ${JPEG_W}x${JPEG_H} with maker note, thumbnail and XMP" ;;
        tiff) echo "TIFF: $(folder_files "$DATA/tiff") uncompressed scans of ${TIFF_W}x${TIFF_H} with maker note and XMP" ;;
        corpus) echo "Camera corpus: $(folder_files "$DATA/corpus") files of many makes and formats, some meant to be refused" ;;
    esac
}

# Empty when fine, else the problem recorded for that row.
check_text() {
    local problem=$1
    if [[ -z $problem ]]; then echo ok; else echo "FAIL: $problem"; fi
}

print_set_table() {
    local set=$1 tool files bytes base secs
    files=$(folder_files "$DATA/$set")
    bytes=$(folder_bytes "$DATA/$set")
    base=$(result "$set" yardstick seconds)
    printf '\n%s\n%s files, %s, median of %s rounds\n' "$(set_title "$set")" "$files" "$(mib "$bytes")" \
        "$(result "$set" yardstick rounds)"
    # shellcheck disable=SC2059
    printf "$MAIN_ROW" tool seconds files/s '× cp' '+sync s' 'peak RSS' crash-safe check
    for tool in "${ALL_TOOLS[@]}"; do
        secs=$(result "$set" "$tool" seconds)
        if [[ -z $secs ]]; then
            tool_handles_set "$tool" "$set" || continue
            # shellcheck disable=SC2059
            printf "$MAIN_ROW" "$(tool_label "$tool")" - - - - - - "not measured: $(tool_program "$tool") not installed"
            continue
        fi
        # shellcheck disable=SC2059
        printf "$MAIN_ROW" "$(tool_label "$tool")" "$secs" \
            "$(calc 'f / s' -v f="$files" -v s="$secs" | xargs printf '%.1f')" \
            "$(calc 's / b' -v s="$secs" -v b="$base" | xargs printf '%.2f')" \
            "$(result "$set" "$tool" seconds_synced)" \
            "$(mib "$(($(result "$set" "$tool" rss_kb) * 1024))")" \
            "$(safety_verdict "$tool")" "$(check_text "$(result "$set" "$tool" problem)")"
    done
}

print_footnotes() {
    cat <<EOF

[1] exiv2 and jhead also shift IFD0 DateTime (0x0132); the others change only DateTimeOriginal and
    CreateDate (0x9003, 0x9004). exiftool is given the ExifIFD group so that it leaves the XMP dates alone.
[2] every copy of the date: also IFD0 ModifyDate and the XMP dates (xmp:CreateDate, photoshop:DateCreated,
    exif:DateTimeOriginal), each moved by one hour where it stands; measured on the JPEG set only.
[3] the journal's folder made unusable (XDG_STATE_HOME=/dev/null/none): with no journal, no file may be
    patched, so every one is written anew and renamed over, as with --all-dates; JPEG set only.
seconds: the tool's own run on a fresh copy (flushed before the clock starts); +sync s: until its data
is on disk (the tool, then sync); × cp: seconds / the cp -r + sync yardstick of the same set in this run.
crash-safe: judged from the system calls of one run on 4 JPEGs (strace): "yes" means the new content
went into another file, was synced, and only then was renamed over the original.
EOF
}

print_scaling_table() {
    local set files bytes base secs row='%-22s %8s %10s %6s %9s %9s %6s %10s %10s %11s %11s %9s  %s\n'
    printf '\nScaling: shotdate-cli --shift %s in place, beside cp -r + sync of the same files\n' "$SHIFT"
    printf '(written: bytes sent towards the disk per file, /proc/<pid>/io write_bytes)\n'
    # shellcheck disable=SC2059
    printf "$row" files count total rounds 'cp s' 'shotd. s' '× cp' 'ms/file' 'ms/MiB' 'cp KiB/f' 'shotd. KiB/f' \
        'peak RSS' check
    for set in "${SCALING_SETS[@]}"; do
        secs=$(result "$set" sd-inplace seconds)
        [[ -n $secs ]] || continue
        files=$(folder_files "$DATA/$set")
        bytes=$(folder_bytes "$DATA/$set")
        base=$(result "$set" yardstick seconds)
        # shellcheck disable=SC2059
        printf "$row" "$(scaling_title "$set")" "$files" "$(mib "$bytes")" "$(result "$set" sd-inplace rounds)" \
            "$base" "$secs" "$(calc 's / b' -v s="$secs" -v b="$base" | xargs printf '%.2f')" \
            "$(calc '1000 * s / f' -v s="$secs" -v f="$files" | xargs printf '%.2f')" \
            "$(calc '1000 * s / (b / 1048576)' -v s="$secs" -v b="$bytes" | xargs printf '%.2f')" \
            "$(calc 'w / f / 1024' -v w="$(result "$set" yardstick write_bytes)" -v f="$files" | xargs printf '%.1f')" \
            "$(calc 'w / f / 1024' -v w="$(result "$set" sd-inplace write_bytes)" -v f="$files" | xargs printf '%.1f')" \
            "$(mib "$(($(result "$set" sd-inplace rss_kb) * 1024))")" \
            "$(check_text "$(result "$set" sd-inplace problem)")"
    done
}

scaling_title() {
    local each
    each=$(mib "$(largest_file "$DATA/$1")")
    case $1 in
        small-*) echo "small, $each each" ;;
        large) echo "large, $each each" ;;
    esac
}

print_btrfs_table() {
    local row='%-40s %8s %14s %9s  %s\n' step secs written
    printf '\nReflinks: the JPEG set on a loop-mounted btrfs image'
    if [[ -n $BTRFS_NOTE ]]; then
        printf ': %s\n' "$BTRFS_NOTE"
        return 0
    fi
    printf ', %s, median of %s rounds\n' "$(mib "$BTRFS_BYTES")" "$(awk -F'\t' 'NR == 1 { print $2 }' "$BTRFS_RESULTS")"
    # shellcheck disable=SC2059
    printf "$row" step seconds 'written to disk' 'of data' check
    while IFS=$'\t' read -r step _ secs written problem; do
        # shellcheck disable=SC2059
        printf "$row" "$(btrfs_label "$step")" "$secs" "$(mib "$written")" \
            "$(calc '100 * w / b' -v w="$written" -v b="$BTRFS_BYTES" | xargs printf '%.1f%%')" \
            "$( [[ $step == sd-* ]] && check_text "$problem" || echo -)"
    done <"$BTRFS_RESULTS"
}

# The performance goals, as figures from this run: none of them fails the run.
print_goals() {
    local sd exif exiv base
    sd=$(result jpeg sd-inplace seconds)
    [[ -n $sd ]] || return 0
    base=$(result jpeg yardstick seconds)
    exif=$(result jpeg exiftool seconds)
    exiv=$(result jpeg exiv2 seconds)
    printf '\nGoals, from the JPEG set of this run (figures, not pass/fail of the benchmark):\n'
    goal_line 'in place, crash-safe: × cp -r + sync' "$(calc 's / b' -v s="$sd" -v b="$base")" '<=' 1.1 '%.2f×'
    [[ -z $exif ]] || goal_line 'exiftool time / shotdate time' "$(calc 'e / s' -v e="$exif" -v s="$sd")" '>=' 2 '%.2f×'
    [[ -z $exiv ]] || goal_line 'exiv2 time / shotdate time' "$(calc 'e / s' -v e="$exiv" -v s="$sd")" '>=' 2 '%.2f×'
    local set worst_set='' worst_margin='' rss largest margin
    for set in jpeg tiff corpus "${SCALING_SETS[@]}"; do
        rss=$(result "$set" sd-inplace rss_kb)
        [[ -n $rss ]] || continue
        largest=$(largest_file "$DATA/$set")
        margin=$(calc '(r * 1024 - l) / 1048576' -v r="$rss" -v l="$largest")
        if [[ -z $worst_margin ]] || awk -v m="$margin" -v w="$worst_margin" 'BEGIN { exit !(m > w) }'; then
            worst_margin=$margin
            worst_set=$set
        fi
    done
    if [[ -n $worst_set ]]; then
        goal_line "peak RSS - largest file (worst: $worst_set)" "$worst_margin" '<=' 16 '%.1f MiB'
        rss=$(result "${SCALING_SETS[-1]}" sd-inplace rss_kb)
        local small_rss
        small_rss=$(result "${SCALING_SETS[0]}" sd-inplace rss_kb)
        [[ -z $rss || -z $small_rss ]] ||
            printf '  %-48s %s with %s files, %s with %s files\n' 'peak RSS, smallest and largest files' \
                "$(mib $((small_rss * 1024)))" "$(mib "$(largest_file "$DATA/${SCALING_SETS[0]}")")" \
                "$(mib $((rss * 1024)))" "$(mib "$(largest_file "$DATA/${SCALING_SETS[-1]}")")"
    fi
    if [[ -z $BTRFS_NOTE && -s $BTRFS_RESULTS ]]; then
        local written
        written=$(awk -F'\t' '$1 == "sd-inplace" { print $4 }' "$BTRFS_RESULTS")
        printf '  %-48s %s for %s of photos (%s)\n' 'btrfs: data written by an in-place run' "$(mib "$written")" \
            "$(mib "$BTRFS_BYTES")" "$(calc '100 * w / b' -v w="$written" -v b="$BTRFS_BYTES" | xargs printf '%.1f%%')"
    fi
    local alldates renamed window output run=''
    alldates=$(result jpeg sd-alldates seconds)
    renamed=$(result jpeg sd-rename seconds)
    [[ -z $alldates || -z $renamed ]] || goal_line '--all-dates time / the same without a journal' \
        "$(calc 'a / r' -v a="$alldates" -v r="$renamed")" '<=' 1.1 '%.2f×'
    window=$(result jpeg sd-window seconds)
    [[ ! -s $LOGS/jpeg.sd-window-run ]] || run=$(median <"$LOGS/jpeg.sd-window-run")
    [[ -z $window ]] || goal_line 'window run time / shotdate-cli time' "$(calc 'w / s' -v w="$window" -v s="$sd")" \
        '<=' 1.1 '%.2f×'
    # The same without Qt's start-up (some 50 ms), which a user pays once.
    [[ -z $run ]] || goal_line '  from the Start click to the closing message' \
        "$(calc 'w / s' -v w="$run" -v s="$sd")" '<=' 1.1 '%.2f×'
    # Into an output folder every file is written whole, as every in-place
    # run was before files were patched: there the start-up weighs as little
    # as it did then.
    window=$(result jpeg sd-window-output seconds)
    output=$(result jpeg sd-output seconds)
    [[ -z $window || -z $output ]] || goal_line '  into an output folder, / shotdate-cli -o DIR' \
        "$(calc 'w / s' -v w="$window" -v s="$output")" '<=' 1.1 '%.2f×'
}

# goal_line TEXT VALUE OP LIMIT FORMAT
goal_line() {
    local text=$1 value=$2 op=$3 limit=$4 format=$5 verdict
    if awk -v v="$value" -v l="$limit" -v op="$op" 'BEGIN { exit !(op == "<=" ? v <= l : v >= l) }'; then
        verdict='met'
    else
        verdict='not met'
    fi
    # shellcheck disable=SC2059
    printf "  %-48s $format  (goal %s $format)  %s\n" "$text" "$value" "$op" "$limit" "$verdict"
}
