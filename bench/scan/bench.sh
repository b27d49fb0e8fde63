# Source-tree benchmarks: a count with the seven default rows against find, 33 rows against 7, and the memory
# of a 100,000-entry run list. One tree of 100,000 files in 1,000 folders, made once. Sourced by bench/run.

bench_register scan scan-vs-find scan-33-rows-vs-7 scan-runlist-mib
bench_targets vantora-bench-scan

scan_bench() { "$BUILD/bench/scan/vantora-bench-scan" "$BENCH_DATA/scan-tree" "$1" 2>/dev/null; }

bench_scan_vs_find() { scan_bench vs-find; }
bench_scan_33_rows_vs_7() { scan_bench rows; }
bench_scan_runlist_mib() { scan_bench memory; }
