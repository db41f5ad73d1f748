# Checks that a tool's run did what it should. Sourced by bench/run. Each
# check prints nothing when all is well, or one line saying what is wrong.

# One exiftool stays loaded for all the date checks (-stay_open): starting
# it costs half a second, a question to the loaded one a few milliseconds.
start_date_reader() {
    rm -f "$WORK/exiftool.in" "$WORK/exiftool.out"
    mkfifo "$WORK/exiftool.in" "$WORK/exiftool.out"
    exiftool -stay_open True -@ "$WORK/exiftool.in" >"$WORK/exiftool.out" 2>/dev/null &
    DATE_READER_PID=$!
    # In this order: each open waits for the other end.
    exec 8<"$WORK/exiftool.out" 7>"$WORK/exiftool.in"
}

stop_date_reader() {
    [[ -n ${DATE_READER_PID:-} ]] || return 0
    printf -- '-stay_open\nFalse\n' >&7 2>/dev/null || true
    exec 7>&- 8<&-
    wait "$DATE_READER_PID" 2>/dev/null || true
    DATE_READER_PID=''
    rm -f "$WORK/exiftool.in" "$WORK/exiftool.out"
}

# read_dates DIR FILE...: the DATE_TAGS of each file, one line each.
# With -T, exiftool says "{ready}" only for a numbered -execute.
read_dates() {
    local dir=$1 line
    shift
    printf '%s\n' -m -T "${DATE_TAGS[@]}" "${@/#/$dir/}" -execute1 >&7
    while IFS= read -r -t 120 line <&8; do
        [[ $line == '{ready1}' ]] && return 0
        printf '%s\n' "$line"
    done
    echo 'exiftool gave no answer'
}

# Both dates of the set's sample files moved by exactly one hour. With
# --others, the file's other dates (IFD0, XMP) must not have moved, with
# --all they must have moved by one hour too; exiv2 and jhead always move
# IFD0 DateTime, so they are asked neither.
check_dates() {
    local set=$1 dir=$2 others=${3:-} samples=$DATA/$1.samples names=()
    [[ -s $samples ]] || return 0
    mapfile -t names < <(cut -f1 "$samples")
    local found file mod xdto xcd want_dto want_cd got want_others
    found="$(read_dates "$dir" "${names[@]}")"
    while IFS=$'\t' read -r file _ _ mod xdto xcd want_dto want_cd; do
        got="$(awk -F'\t' -v f="$file" '$1 == f' <<<"$found")"
        if [[ $(cut -f2,3 <<<"$got") != "$want_dto"$'\t'"$want_cd" ]]; then
            printf '%s: dates "%s" / "%s", expected "%s" / "%s"\n' "$file" \
                "$(cut -f2 <<<"$got")" "$(cut -f3 <<<"$got")" "$want_dto" "$want_cd"
            return 0
        fi
        want_others="$mod"$'\t'"$xdto"$'\t'"$xcd"
        [[ $others != --all ]] ||
            want_others="$(plus_one_hour "$mod")"$'\t'"$(plus_one_hour "$xdto")"$'\t'"$(plus_one_hour "$xcd")"
        if [[ -n $others && $(cut -f4-6 <<<"$got") != "$want_others" ]]; then
            printf '%s: other dates "%s", expected "%s"\n' "$file" "$(cut -f4-6 <<<"$got" | tr '\t' ' ')" \
                "${want_others//$'\t'/ }"
            return 0
        fi
    done <"$samples"
}

# When both dates are rewritten where they stand, the file keeps its size
# and differs from the original only in date digits, inside two runs of at
# most 19 bytes (six with every copy of the date: IFD0 ModifyDate and three
# XMP dates): picture, maker note, thumbnail and the rest are the same bytes.
check_only_dates_changed() {
    local set=$1 dir=$2 places=${3:-2} file problem
    [[ $set == corpus ]] && return 0
    while IFS=$'\t' read -r file _; do
        if [[ $(stat -c %s "$dir/$file") != $(stat -L -c %s "$DATA/$set/$file") ]]; then
            echo "$file: size changed"
            return 0
        fi
        # cmp -l: offset (from 1), old byte, new byte, both in octal.
        problem=$({ cmp -l "$DATA/$set/$file" "$dir/$file" || true; } | awk -v f="$file" -v places="$places" '
            function digit(o) { return o >= 60 && o <= 71 }
            !digit($2) || !digit($3) { printf "%s: byte %d changed from octal %s to %s, not a date digit\n", f, $1 - 1, $2, $3; exit }
            runs == 0 || $1 - start >= 19 { runs++; start = $1 }
            runs > places { printf "%s: bytes changed in more than %d places (at %d)\n", f, places, $1 - 1; exit }')
        if [[ -n $problem ]]; then
            echo "$problem"
            return 0
        fi
    done <"$DATA/$set.samples"
}

check_no_temporaries() {
    local left
    left=$(find "$@" -maxdepth 1 -name '.shotdate-*.tmp' 2>/dev/null | wc -l)
    ((left == 0)) || echo "$left temporary files left behind"
}

check_every_file_written() {
    local set=$1 dir=$2 want got
    [[ $set == corpus ]] && return 0
    want=$(folder_files "$DATA/$set")
    got=$(folder_files "$dir")
    ((want == got)) || echo "$got files in the output folder, $want expected"
}

# All checks that apply to TOOL after a run on SET; prints the first problem.
check_run() {
    local tool=$1 set=$2 dir problem
    [[ $tool == yardstick ]] && return 0
    dir=$(tool_result_dir "$tool")
    case $tool in
        sd-alldates) problem=$(check_dates "$set" "$dir" --all) ;;
        sd-* | exiftool) problem=$(check_dates "$set" "$dir" --others) ;;
        *) problem=$(check_dates "$set" "$dir") ;;
    esac
    if [[ -z $problem && $tool == sd-* ]]; then
        problem=$(check_only_dates_changed "$set" "$dir" "$([[ $tool == sd-alldates ]] && echo 6 || echo 2)")
        [[ -n $problem ]] || problem=$(check_no_temporaries "$RUN" "$OUT")
        [[ -n $problem || $(tool_result_dir "$tool") != "$OUT" ]] || problem=$(check_every_file_written "$set" "$dir")
    fi
    [[ -z $problem ]] || echo "$problem"
}
