# Import-history benchmarks: the count that leaves out 100,000 imported files against find printing each
# file's size and time; the 1 GiB copy as every run makes it (hash taken, history written) against cp -a +
# sync; the 1 GiB move with every copy read back against cp -a + sync + rm -r. Sourced by bench/run; the
# copy data and helpers come from bench/copy/bench.sh.

bench_register history scan-with-history-vs-find copy-hashed-vs-cp move-verify-vs-cp-rm
bench_targets vantora-bench-scan vantora-import

bench_scan_with_history_vs_find() { "$BUILD/bench/scan/vantora-bench-scan" "$BENCH_DATA/scan-tree" history 2>/dev/null; }

# Settings of a copy run as bench/copy makes them, with a history file and the given extra lines.
history_settings() { # source dest move extra...
    local file
    file=$(copy_settings "$1" "$2" "$3")
    shift 3
    printf 'History=%s\nVolume=uuid:BENCH\n' "$BENCH_DATA/history.sqlite" >>"$file"
    printf '%s\n' "$@" >>"$file"
    echo "$file"
}

bench_copy_hashed_vs_cp() {
    local set dst=$BENCH_DATA/dst ours=() theirs=() i settings
    set=$(copy_mixed_set)
    settings=$(history_settings "$set/DCIM" "$dst" 0)
    hashed_ours() {
        rm -rf "$dst" "$BENCH_DATA"/history.sqlite*; mkdir -p "$dst"; sync; bench_warm "$set"
        ours+=("$(bench_time copy_driver "$settings")")
    }
    hashed_theirs() {
        rm -rf "$dst"; mkdir -p "$dst"; sync; bench_warm "$set"
        theirs+=("$(bench_time sh -c "cp -a '$set/DCIM' '$dst/$(date +%Y-%m-%d)' && sync")")
    }
    for i in 1 2 3 4; do
        if ((i % 2)); then hashed_ours; hashed_theirs; else hashed_theirs; hashed_ours; fi
    done
    rm -rf "$dst" "$BENCH_DATA"/history.sqlite*
    bench_line copy-hashed-vs-cp "$(bench_median "${ours[@]}")" "$(bench_median "${theirs[@]}")"
}

bench_move_verify_vs_cp_rm() {
    move_compare move-verify-vs-cp-rm \
        "$(history_settings "$BENCH_DATA/card/DCIM" "$BENCH_DATA/dst" 1 VerifyChecked=1)"
}
