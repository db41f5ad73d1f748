# How much data a rewrite puts on a disk that can share extents (reflinks).
# Sourced by bench/run.
#
# A btrfs image is loop-mounted under the work folder and the set copied in
# with real data (no sharing). The loop device's own counter of sectors
# written, read before the command and after a following sync, says how many
# bytes the file system sent to its disk for that command: metadata included,
# page-cache tricks excluded. When the file system cannot be made or mounted
# here (no btrfs-progs, no loop devices, not root) the part is skipped and
# the report says why.
# shellcheck disable=SC2034  # its globals are read by bench/run and the other parts

BTRFS_STEPS=(reflink-copy full-copy sd-inplace sd-output)
BTRFS_MOUNT=''

btrfs_label() {
    case $1 in
        reflink-copy) echo 'cp -r --reflink=always + sync' ;;
        full-copy) echo 'cp -r --reflink=never + sync' ;;
        *) tool_label "$1" ;;
    esac
}

btrfs_skip() {
    BTRFS_NOTE="skipped: $*"
    say "  btrfs: $BTRFS_NOTE"
}

btrfs_unmount() {
    if [[ -n $BTRFS_MOUNT ]]; then
        umount "$BTRFS_MOUNT" 2>/dev/null || umount -l "$BTRFS_MOUNT" 2>/dev/null || true
        BTRFS_MOUNT=''
    fi
    rm -f "$WORK/btrfs.img"
    rmdir "$WORK/btrfs" 2>/dev/null || true
}

# Field 7 of the block device's stat: sectors of 512 bytes written.
device_bytes_written() {
    local fields
    read -r -a fields <"/sys/block/$1/stat"
    echo $((fields[6] * 512))
}

# btrfs_command STEP: sets CMD for one step on $RUN / $OUT inside the mount.
btrfs_command() {
    case $1 in
        reflink-copy) CMD=(sh -c 'cp -r --reflink=always "$1" "$2" && sync' copy "$BTRFS_MOUNT/src" "$RUN") ;;
        full-copy) CMD=(sh -c 'cp -r --reflink=never "$1" "$2" && sync' copy "$BTRFS_MOUNT/src" "$RUN") ;;
        sd-inplace) CMD=("$CLI" -q --shift "$SHIFT" "$RUN") ;;
        sd-output) CMD=("$CLI" -q --shift "$SHIFT" -o "$OUT" "$RUN") ;;
    esac
}

# btrfs_measure SET ROUNDS: fills $BTRFS_RESULTS (step, seconds, bytes
# written, problem) or sets BTRFS_NOTE to why it was skipped.
btrfs_measure() {
    local set=$1 rounds=$2
    BTRFS_NOTE=''
    : >"$BTRFS_RESULTS"
    [[ $NO_BTRFS == 1 ]] && { btrfs_skip 'turned off with --no-btrfs'; return 0; }
    command -v mkfs.btrfs >/dev/null || { btrfs_skip 'mkfs.btrfs not found (Debian package btrfs-progs)'; return 0; }
    ((EUID == 0)) || { btrfs_skip 'mounting a loop device needs root'; return 0; }

    local img=$WORK/btrfs.img bytes size
    bytes=$(folder_bytes "$DATA/$set")
    size=$((bytes * 3 + 1024 * 1048576))
    truncate -s "$size" "$img"
    if ! mkfs.btrfs -q -f "$img" >"$LOGS/mkfs.btrfs.log" 2>&1; then
        btrfs_skip "mkfs.btrfs failed: $(tail -n 1 "$LOGS/mkfs.btrfs.log")"
        rm -f "$img"
        return 0
    fi
    mkdir -p "$WORK/btrfs"
    if ! mount -o loop "$img" "$WORK/btrfs" 2>"$LOGS/mount.log"; then
        btrfs_skip "mount failed: $(tail -n 1 "$LOGS/mount.log")"
        rm -f "$img"
        rmdir "$WORK/btrfs"
        return 0
    fi
    BTRFS_MOUNT=$WORK/btrfs
    local device
    device=$(basename "$(findmnt -no SOURCE "$BTRFS_MOUNT")")
    if [[ ! -r /sys/block/$device/stat ]]; then
        btrfs_skip "no I/O counters for $device"
        btrfs_unmount
        return 0
    fi
    say "  btrfs: mounted on $device, copying $(mib "$bytes") in"
    cp -r --reflink=never "$DATA/$set" "$BTRFS_MOUNT/src"
    sync

    local RUN=$BTRFS_MOUNT/run OUT=$BTRFS_MOUNT/out
    local step round times written problem w0 t0 t1 status
    for step in "${BTRFS_STEPS[@]}"; do
        times=() written=() problem=''
        for ((round = 1; round <= rounds; round++)); do
            rm -rf "$RUN" "$OUT"
            [[ $step == sd-* ]] && cp -r --reflink=never "$BTRFS_MOUNT/src" "$RUN"
            mkdir -p "$OUT"
            sync
            btrfs_command "$step"
            status=0
            w0=$(device_bytes_written "$device")
            t0=${EPOCHREALTIME/./}
            "${CMD[@]}" >"$LOGS/btrfs.$step.out" 2>"$LOGS/btrfs.$step.err" || status=$?
            t1=${EPOCHREALTIME/./}
            sync
            times+=("$(seconds_between "$t0" "$t1")")
            written+=("$(($(device_bytes_written "$device") - w0))")
            say "  btrfs: $(btrfs_label "$step"): round $round/$rounds: ${times[-1]} s, $(mib "${written[-1]}") written"
            if ((round == 1)); then
                if ((status != 0)); then
                    problem="exit status $status: $(head -c 300 "$LOGS/btrfs.$step.err" | tr '\n' ' ')"
                elif [[ $step == sd-* ]]; then
                    problem=$(check_run "$step" "$set")
                fi
            fi
        done
        printf '%s\t%s\t%s\t%s\t%s\n' "$step" "$rounds" "$(printf '%s\n' "${times[@]}" | median)" \
            "$(printf '%s\n' "${written[@]}" | median | xargs printf '%.0f')" "$problem" >>"$BTRFS_RESULTS"
    done
    BTRFS_BYTES=$bytes
    btrfs_unmount
}
