# Finds out, from its system calls, whether each tool replaces files in a way
# that survives a crash. Sourced by bench/run; writes "tool<TAB>verdict" lines
# to $SAFETY.

# Debian's own python3 first: a python3 earlier on PATH may be a version
# manager's wrapper that takes a second to start.
PYTHON=$(command -v /usr/bin/python3 || command -v python3 || true)

PROBE_SYSCALLS=open,openat,openat2,creat,write,pwrite64,writev,pwritev,pwritev2,ftruncate,truncate
PROBE_SYSCALLS+=,fallocate,copy_file_range,sendfile,ioctl,fsync,fdatasync,syncfs,sync
PROBE_SYSCALLS+=,rename,renameat,renameat2,unlink,unlinkat,chdir,fchdir

# Runs every tool once under strace on a fresh copy of the probe set (a few
# of the JPEGs) and judges the log with crash_safety.py.
probe_crash_safety() {
    : >"$SAFETY"
    local tool verdict names=() targets=() name
    if ! command -v strace >/dev/null || [[ -z $PYTHON ]]; then
        for tool in "${ALL_TOOLS[@]}"; do
            printf '%s\tnot probed (needs strace and python3)\n' "$tool" >>"$SAFETY"
        done
        return 0
    fi
    mapfile -t names < <(names_in "$DATA/probe")
    for tool in "${ALL_TOOLS[@]}"; do
        [[ $tool != yardstick ]] && tool_available "$tool" || continue
        local RUN=$WORK/probe/run OUT=$WORK/probe/out
        rm -rf "$WORK/probe"
        mkdir -p "$WORK/probe"
        cp -r "$DATA/probe" "$RUN"
        mkdir -p "$OUT"
        sync
        tool_command "$tool" probe
        targets=()
        for name in "${names[@]}"; do targets+=("$(tool_result_dir "$tool")/$name"); done
        (cd "$CWD" && exec strace -f -qq -y -s 0 -e signal=none -e "trace=$PROBE_SYSCALLS" \
            -o "$LOGS/probe.$tool.strace" "${CMD[@]}") >/dev/null 2>&1 || true
        verdict=$("$PYTHON" "$BENCH_LIB/crash_safety.py" "$LOGS/probe.$tool.strace" "$CWD" "${targets[@]}")
        say "  crash safety: $(tool_label "$tool"): $verdict"
        printf '%s\t%s\n' "$tool" "$verdict" >>"$SAFETY"
    done
    rm -rf "$WORK/probe"
}

safety_verdict() {
    [[ $1 == yardstick ]] && { echo '-'; return; }
    awk -F'\t' -v t="$1" '$1 == t { print $2; found = 1 } END { if (!found) print "not probed" }' "$SAFETY"
}
