# Runs one tool on one set for several rounds and records the figures.
# Sourced by bench/run.
#
# Every round starts from a fresh `cp -r` of the set, flushed to disk before
# the clock starts, so that no round pays for the previous one's writes. The
# yardstick gets the same preparation and then copies that fresh copy: on
# virtual disks a burst of writes right after another one can run twice as
# slowly as on a rested disk, and every tool pays for the preparation's
# burst, so the yardstick must too. A tool's time is what its user waits for; the
# time until its data is on disk (the tool plus one `sync`) is kept beside it,
# since a tool that never syncs leaves that work to the kernel.
# shellcheck disable=SC2034  # its globals are read by bench/run and the other parts

RESULTS_HEADER='set	tool	rounds	seconds	seconds_synced	rss_kb	write_bytes	problem'

# Leaves $RUN (a fresh copy of SET) and $OUT (empty) on disk.
prepare_round() {
    local set=$2
    # Each run starts with no journals, as the first run on a machine does:
    # a state kept from round to round would make later tools read more.
    rm -rf "$RUN" "$OUT" "$XDG_STATE_HOME"
    sync
    cp -r "$DATA/$set" "$RUN"
    mkdir -p "$OUT"
    sync
}

# Runs CMD in CWD under /usr/bin/time -v. Sets STATUS, ELAPSED (the tool),
# SYNCED (the tool and a following sync), RSS_KB and WRITE_BYTES: what the
# tool sent towards the disk, from /proc/<pid>/io of a shell that waited for
# it (a reaped child's counts are added to its parent's).
run_timed() {
    local log=$1 t0 t1 t2
    STATUS=0
    rm -f "$log.io"
    t0=${EPOCHREALTIME/./}
    (cd "$CWD" && exec /usr/bin/time -v -o "$log.time" \
        sh -c '"$@"; s=$?; sed -n "s/^write_bytes: //p" /proc/$$/io >"$0"; exit $s' "$log.io" "${CMD[@]}") \
        >"$log.out" 2>"$log.err" || STATUS=$?
    t1=${EPOCHREALTIME/./}
    sync
    t2=${EPOCHREALTIME/./}
    ELAPSED=$(seconds_between "$t0" "$t1")
    SYNCED=$(seconds_between "$t0" "$t2")
    RSS_KB=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$log.time")
    WRITE_BYTES=$(cat "$log.io" 2>/dev/null || true)
}

# measure TOOL SET ROUNDS: appends one line to $RESULTS. The first round's
# result is checked; a problem is recorded and shown in the report.
measure() {
    local tool=$1 set=$2 rounds=$3 round problem='' log="$LOGS/$2.$1"
    local times=() synced=() rss=() written=()
    for ((round = 1; round <= rounds; round++)); do
        prepare_round "$tool" "$set"
        tool_command "$tool" "$set"
        run_timed "$log"
        say "  $set: $(tool_label "$tool"): round $round/$rounds: $ELAPSED s (exit $STATUS)"
        times+=("$ELAPSED")
        # The window's driver also times its run from the Start click on.
        [[ $tool != sd-window* ]] || awk '/^run seconds:/ { print $3 }' "$log.out" >>"$LOGS/$set.$tool-run"
        synced+=("$SYNCED")
        rss+=("${RSS_KB:-0}")
        written+=("${WRITE_BYTES:-0}")
        if ((round == 1)); then
            if ! tool_status_ok "$tool" "$set" "$STATUS"; then
                problem="exit status $STATUS: $(head -c 300 "$log.err" | tr '\n' ' ')"
            else
                problem=$(check_run "$tool" "$set")
            fi
            [[ -z $problem ]] || say "  $set: $(tool_label "$tool"): PROBLEM: $problem"
        fi
    done
    rm -rf "$RUN" "$OUT"
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$set" "$tool" "$rounds" \
        "$(printf '%s\n' "${times[@]}" | median)" "$(printf '%s\n' "${synced[@]}" | median)" \
        "$(printf '%s\n' "${rss[@]}" | maximum)" "$(printf '%s\n' "${written[@]}" | median)" "$problem" >>"$RESULTS"
}

# load_results: reads $RESULTS once for the report, which asks for single
# figures a few hundred times.
declare -A RESULT=()
load_results() {
    local set tool rounds seconds synced rss written problem
    RESULT=()
    # The problem comes last: read collapses empty fields between tabs.
    while IFS=$'\t' read -r set tool rounds seconds synced rss written problem; do
        RESULT["$set|$tool|write_bytes"]=$written
        RESULT["$set|$tool|rounds"]=$rounds
        RESULT["$set|$tool|seconds"]=$seconds
        RESULT["$set|$tool|seconds_synced"]=$synced
        RESULT["$set|$tool|rss_kb"]=$rss
        RESULT["$set|$tool|problem"]=$problem
    done < <(tail -n +2 "$RESULTS")
}

# result SET TOOL FIELD: one recorded figure, empty when not measured.
result() { printf '%s' "${RESULT["$1|$2|$3"]:-}"; }
