# Import with a second copy: the 1 GiB mixed set (bench/copy/bench.sh) imported by vantora-import with
# BackupChecked=1 (one read of the card, two copies), against cp -a into the first folder, then cp -a into
# the second, then sync -f. The card is cold before every run of either: its pages are dropped file by file
# (posix_fadvise DONTNEED through dd) and checked with fincore, or with VANTORA_BENCH_DROP_CACHES=1 (as
# root) the whole page cache is dropped. Rounds take turns at going first; every round is printed, then the
# median ratio against the target. Each import is checked (every file in both folders, same bytes).
#   VANTORA_BENCH_BACKUP_ROUNDS  rounds (default 3)
# Sourced by bench/run; copy_mixed_set and import_tool come from bench/copy/bench.sh.

bench_register backup copy-backup-vs-2cp
bench_targets vantora-import

BackupTarget=1.0

# Drops the card's cached pages; the folders written before are on the disk first.
backup_drop_card() { # set dst1 dst2
    sync -f "$2"
    sync -f "$3"
    sync -f "$1"
    local cached
    cached=$(bench_drop_cold "$1/DCIM")
    if ((cached > (10 << 20))); then
        echo "copy-backup-vs-2cp: $cached bytes of the card still cached after the drop" >&2
        exit 1
    fi
    import_tool --help >/dev/null
    cp --version >/dev/null
}

# Both folders hold every file of the card with its bytes.
backup_check() { # set dst1 dst2 result-file
    local count f
    count=$(find "$1/DCIM" -type f | wc -l)
    if ! grep -q "^result=ok imported=$count " "$4"; then
        echo "copy-backup-vs-2cp: the import did not take all $count files:" >&2
        cat "$4" >&2
        exit 1
    fi
    for f in $(cd "$1/DCIM" && find . -type f -printf '%f\n'); do
        if ! cmp -s "$2/$f" "$3/$f"; then
            echo "copy-backup-vs-2cp: $f differs between the two copies" >&2
            exit 1
        fi
    done
    if [ "$(find "$2" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')" != \
        "$(find "$1/DCIM" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')" ]; then
        echo "copy-backup-vs-2cp: the first copies do not hold the card's bytes" >&2
        exit 1
    fi
}

bench_copy_backup_vs_2cp() {
    local set dst1=$BENCH_DATA/dst1 dst2=$BENCH_DATA/dst2 settings=$BENCH_DATA/backup-settings.txt
    local rounds=${VANTORA_BENCH_BACKUP_ROUNDS:-3} i ours theirs ratio ratios=() verdict
    set=$(copy_mixed_set)
    cat >"$settings" <<SETTINGS
SourceEditText=$set/DCIM/
AllFileChecked=1
AllFileDir=$dst1
BackupChecked=1
BackupDirText=$dst2
SETTINGS
    backup_fresh() { rm -rf "$dst1" "$dst2"; mkdir -p "$dst1" "$dst2"; backup_drop_card "$set" "$dst1" "$dst2"; }
    backup_ours() {
        backup_fresh
        ours=$(bench_time sh -c "'$BUILD/src/vantora-import' --quiet '$settings' >'$BENCH_DATA/backup-result'")
        backup_check "$set" "$dst1" "$dst2" "$BENCH_DATA/backup-result"
    }
    backup_theirs() {
        backup_fresh
        theirs=$(bench_time sh -c "cp -a '$set/DCIM/.' '$dst1/' && cp -a '$set/DCIM/.' '$dst2/' && sync -f '$dst1' && sync -f '$dst2'")
    }
    echo "copy-backup: $(find "$set/DCIM" -type f | wc -l) files, 1 GiB, both copies on $(df --output=source "$BENCH_DATA" | tail -n 1);" \
        "pages dropped by $([ "${VANTORA_BENCH_DROP_CACHES:-0}" = 1 ] && echo drop_caches || echo posix_fadvise)"
    for ((i = 1; i <= rounds; i++)); do
        if ((i % 2)); then backup_ours; backup_theirs; else backup_theirs; backup_ours; fi
        ratio=$(bench_ratio "$ours" "$theirs")
        ratios+=("$ratio")
        echo "copy-backup round $i: vantora-import with backup ${ours}s | cp -a, cp -a, sync ${theirs}s | $ratio"
    done
    rm -rf "$dst1" "$dst2"
    ratio=$(bench_median "${ratios[@]}")
    verdict=$(awk -v v="$ratio" -v t="$BackupTarget" 'BEGIN { print (v <= t ? "PASS" : "FAIL") }')
    echo "copy-backup-vs-2cp $ratio (rounds: ${ratios[*]})  target ≤ $BackupTarget  $verdict"
    [ "$verdict" = PASS ] || bench_fail
}
