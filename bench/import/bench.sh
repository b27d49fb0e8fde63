# Cold-cache import benchmark: a card shot over 21 days imported into shooting-date folders ("[YYYYMMDD]")
# with the history on, against cp -a of the same tree + sync -f (a syncfs of the destination's filesystem,
# as the import's own flush). Before every run the card's pages are dropped and the destination is emptied
# and synced. Rounds take turns at going first; every round's figures are printed, then the medians of the
# per-round ratios of wall time and of CPU time (user + sys of the whole process tree) against their
# targets. Each import is checked (every file in the folder of its date, same bytes) so that a broken
# import cannot look fast.
#
# The card, about 1,000 files and 4 GB at full size: per 20 files 6 JPEGs (a real camera JPEG with its
# DateTimeOriginal set by exiv2, padded to 6-10 MB), 1 raw-sized file (.CR3 or .ARW name, 20-30 MB of random
# bytes, dated by its mtime) and 13 short MOV clips (0.2-1 MB, dated by their movie header; JPEG and MOV file
# times lie after the trip, so a date not read from the content shows). It is made once under the benchmark
# folder and kept for later runs, keyed by its version and size.
#   VANTORA_BENCH_IMPORT_GB      card size in GB (default 4; e.g. 0.5 while developing)
#   VANTORA_BENCH_IMPORT_ROUNDS  rounds (default 3)
#   VANTORA_BENCH_DROP_CACHES=1  drop the whole page cache before each run (root), not the card's pages only
# Sourced by bench/run; import_tool comes from bench/copy/bench.sh.

bench_register import import-dated-cold-vs-cp
bench_targets vantora-import

ImportCardVersion=1
ImportWallTarget=1.05
ImportCpuTarget=1.3

# A 32-bit big-endian number as printf %b escapes.
import_be32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 >> 24 & 255)) $(($1 >> 16 & 255)) $(($1 >> 8 & 255)) $(($1 & 255)); }

# A random size in [low, high) bytes, into $size (not through a subshell: it would reseed RANDOM).
import_size() { size=$(($1 + (RANDOM * 32768 + RANDOM) % ($2 - $1))); }

# A QuickTime movie of the given payload size whose movie header says it was made at the given Unix time;
# the movie box comes first or, as many cameras write it, after the media data.
import_mov() { # path epoch payload moov-last
    local created moov
    created=$(import_be32 $(($2 + 2082844800))) # QuickTime seconds count from 1904
    moov='\x00\x00\x00\x74moov\x00\x00\x00\x6cmvhd\x00\x00\x00\x00'$created$created'\x00\x00\x03\xe8\x00\x00\x27\x10'
    moov+='\x00\x01\x00\x00\x01\x00'$(printf '\\x00%.0s' {1..10})
    moov+='\x00\x01\x00\x00'$(printf '\\x00%.0s' {1..12})'\x00\x01\x00\x00'$(printf '\\x00%.0s' {1..12})'\x40\x00\x00\x00'
    moov+=$(printf '\\x00%.0s' {1..24})'\x00\x00\x00\x02'
    {
        printf '%b' '\x00\x00\x00\x14ftypqt  \x00\x00\x02\x00qt  '
        [ "$4" = 1 ] || printf '%b' "$moov"
        printf '%b' "$(import_be32 $(($3 + 8)))mdat"
        head -c "$3" /dev/urandom
        [ "$4" != 1 ] || printf '%b' "$moov"
    } >"$1"
}

# Makes the card (unless a complete one of this version and size is there) and prints its folder. Its
# manifest lists each file as "NAME YYYYMMDD CAMERA-FOLDER".
import_card() {
    local gb=${VANTORA_BENCH_IMPORT_GB:-4} card count
    card=$(dirname "$BENCH_DATA")/vantora-import-card-v$ImportCardVersion-${gb}gb
    if [ "$(cat "$card/complete" 2>/dev/null)" = "$ImportCardVersion" ]; then
        echo "$card"
        return
    fi
    rm -rf "$card"
    mkdir -p "$card/DCIM"
    count=$(awk -v gb="$gb" 'BEGIN { n = int(1000 * gb / 4 + 0.5); print (n < 20 ? 20 : n) }')
    local photo=$card/photo.jpg camera=$ROOT/../shared/testdata/camera/canon-dslr.jpg
    if [ -f "$camera" ]; then
        cp "$camera" "$photo"
    else
        ffmpeg -loglevel error -f lavfi -i testsrc=s=1920x1280 -frames:v 1 -q:v 2 "$photo"
    fi
    chmod 644 "$photo"
    (
        export TZ=UTC
        RANDOM=4242
        local start i day epoch folder name kind path number size
        start=$(date -d 2025-05-01T00:00:00Z +%s)
        for ((i = 0; i < count; i++)); do
            day=$((i * 21 / count))
            # From 7:00, 37 s apart: the day's first file is the first i with i * 21 / count = day.
            epoch=$((start + day * 86400 + 7 * 3600 + (i - (day * count + 20) / 21) * 37))
            folder=$((100 + i / 200))CANON
            number=$(printf '%04d' $((i + 1)))
            mkdir -p "$card/DCIM/$folder"
            kind=$((i % 20))
            case $kind in
            0)
                if ((i % 40)); then name=DSC$number.ARW; else name=IMG_$number.CR3; fi
                path=$card/DCIM/$folder/$name
                import_size $((20 << 20)) $((30 << 20))
                head -c "$size" /dev/urandom >"$path"
                touch -d "@$epoch" "$path"
                ;;
            1 | 4 | 7 | 10 | 13 | 16)
                name=IMG_$number.JPG
                path=$card/DCIM/$folder/$name
                exiv2 -M"set Exif.Photo.DateTimeOriginal $(printf '%(%Y:%m:%d %H:%M:%S)T' "$epoch")" "$photo"
                import_size $((6 << 20)) $((10 << 20))
                {
                    cat "$photo"
                    head -c "$((size - $(stat -c %s "$photo")))" /dev/urandom
                } >"$path"
                # A month after the trip: a copy filed by its file time instead of its Exif date shows.
                touch -d "@$((epoch + 40 * 86400))" "$path"
                ;;
            *)
                name=MVI_$number.MOV
                path=$card/DCIM/$folder/$name
                import_size $((200 << 10)) $((1 << 20))
                import_mov "$path" "$epoch" "$size" $((i % 2))
                touch -d "@$((epoch + 40 * 86400))" "$path"
                ;;
            esac
            echo "$name $(printf '%(%Y%m%d)T' "$epoch") $folder"
        done >"$card/manifest"
    )
    rm "$photo"
    sync -f "$card"
    echo "$ImportCardVersion" >"$card/complete"
    echo "$card"
}

# Drops the card's cached pages, file by file (posix_fadvise DONTNEED through dd), and reads the two
# programs so that only the card is cold. VANTORA_BENCH_DROP_CACHES=1 (as root) drops every clean page
# instead; off by default because drop_caches, like a bare sync, walks every mounted filesystem and hangs
# behind one whose daemon died mid-request. The card must then be out of the cache.
import_drop_card() { # card dst
    sync -f "$2"
    sync -f "$1"
    local cached
    cached=$(bench_drop_cold "$1/DCIM")
    if ((cached > ImportCardBytes / 100)); then
        echo "import-dated-cold-vs-cp: $cached bytes of the card still cached after the drop" >&2
        exit 1
    fi
    import_tool --help >/dev/null
    cp --version >/dev/null
}

# Runs a command; prints "wall user sys" in seconds, user and sys of its whole process tree.
import_measure() { # output-file command...
    local out=$1 start end
    shift
    start=$(date +%s%N)
    if ! /usr/bin/time -f '%U %S' -o "$BENCH_DATA/import-time" "$@" >"$out" 2>&1; then
        echo "import-dated-cold-vs-cp: $* failed:" >&2
        cat "$out" >&2
        exit 1
    fi
    end=$(date +%s%N)
    echo "$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", (b - a) / 1e9 }') $(tail -n 1 "$BENCH_DATA/import-time")"
}

# The import must hold every file of the card in the folder of its shooting date, with its bytes.
import_check() { # card dst result-file
    local card=$1 dst=$2 count bytes name date folder n=0
    count=$(wc -l <"$card/manifest")
    if ! grep -q "^result=ok imported=$count " "$3"; then
        echo "import-dated-cold-vs-cp: the import did not take all $count files:" >&2
        cat "$3" >&2
        exit 1
    fi
    if ! diff <(cd "$dst" && find . -type f | awk -F/ '{ print $3, $2 }' | sort) \
        <(awk '{ print $1, $2 }' "$card/manifest" | sort) >"$BENCH_DATA/import-diff"; then
        echo "import-dated-cold-vs-cp: copies not in their shooting-date folders (< copies, > card):" >&2
        head -n 20 "$BENCH_DATA/import-diff" >&2
        exit 1
    fi
    bytes=$(find "$dst" -type f -printf '%s\n' | awk '{ s += $1 } END { printf "%.0f\n", s }')
    if [ "$bytes" != "$ImportCardBytes" ]; then
        echo "import-dated-cold-vs-cp: the copies hold $bytes bytes, the card $ImportCardBytes" >&2
        exit 1
    fi
    while read -r name date folder; do
        if ((n++ % 97 == 0)) && ! cmp -s "$card/DCIM/$folder/$name" "$dst/$date/$name"; then
            echo "import-dated-cold-vs-cp: $dst/$date/$name differs from its source" >&2
            exit 1
        fi
    done <"$card/manifest"
}

import_verdict() { awk -v v="$1" -v t="$2" 'BEGIN { print (v <= t ? "PASS" : "FAIL") }'; }

bench_import_dated_cold_vs_cp() {
    local card dst=$BENCH_DATA/dst settings rounds=${VANTORA_BENCH_IMPORT_ROUNDS:-3} i
    local walls=() cpus=() ours theirs wall cpu verdict
    card=$(import_card)
    settings=$BENCH_DATA/import-settings.txt
    cat >"$settings" <<SETTINGS
SourceEditText=$card/DCIM/
DirCreateChecked=1
DirNameEditText=[YYYYMMDD]
sDayEditText=
AllFileChecked=1
AllFileDir=$dst
History=$BENCH_DATA/import-history.sqlite
Volume=uuid:BENCH
SETTINGS
    ImportCardBytes=$(find "$card/DCIM" -type f -printf '%s\n' | awk '{ s += $1 } END { printf "%.0f\n", s }')
    echo "import-dated-cold: $(wc -l <"$card/manifest") files, $((ImportCardBytes >> 20)) MiB over 21 days;" \
        "pages dropped by $([ "${VANTORA_BENCH_DROP_CACHES:-0}" = 1 ] && echo drop_caches || echo posix_fadvise)"
    import_ours() {
        rm -rf "$dst" "$BENCH_DATA"/import-history.sqlite*
        mkdir -p "$dst"
        import_drop_card "$card" "$dst"
        ours=$(import_measure "$BENCH_DATA/import-result" env TZ=UTC "$BUILD/src/vantora-import" --quiet "$settings")
        import_check "$card" "$dst" "$BENCH_DATA/import-result"
    }
    import_theirs() {
        rm -rf "$dst"
        mkdir -p "$dst"
        import_drop_card "$card" "$dst"
        theirs=$(import_measure "$BENCH_DATA/import-result" sh -c "cp -a '$card/DCIM' '$dst/DCIM' && sync -f '$dst'")
    }
    # Not counted: the first run of a series was up to twice as slow as the next ones on a 2-core machine.
    import_theirs
    echo "import-dated-cold warm-up (not counted): cp -a + sync ${theirs%% *}s"
    for ((i = 1; i <= rounds; i++)); do
        if ((i % 2)); then import_ours; import_theirs; else import_theirs; import_ours; fi
        read -r wall cpu < <(awk -v o="$ours" -v t="$theirs" 'BEGIN {
            split(o, a, " "); split(t, b, " ")
            printf "%.2f %.2f\n", a[1] / b[1], (b[2] + b[3] > 0 ? (a[2] + a[3]) / (b[2] + b[3]) : 0) }')
        walls+=("$wall")
        cpus+=("$cpu")
        awk -v i="$i" -v o="$ours" -v t="$theirs" -v w="$wall" -v c="$cpu" 'BEGIN {
            split(o, a, " "); split(t, b, " ")
            printf "import-dated-cold round %d: vantora-import %.2fs cpu %.2fs (user %.2f sys %.2f)" \
                " | cp -a + sync %.2fs cpu %.2fs (user %.2f sys %.2f) | wall %s cpu %s\n",
                i, a[1], a[2] + a[3], a[2], a[3], b[1], b[2] + b[3], b[2], b[3], w, c }'
    done
    rm -rf "$dst" "$BENCH_DATA"/import-history.sqlite*
    wall=$(bench_median "${walls[@]}")
    cpu=$(bench_median "${cpus[@]}")
    verdict=$(import_verdict "$wall" "$ImportWallTarget")
    echo "import-dated-cold-vs-cp $wall (rounds: ${walls[*]})  target ≤ $ImportWallTarget  $verdict"
    [ "$verdict" = PASS ] || bench_fail
    verdict=$(import_verdict "$cpu" "$ImportCpuTarget")
    echo "import-dated-cold-cpu-vs-cp $cpu (rounds: ${cpus[*]})  target ≤ $ImportCpuTarget  $verdict"
    [ "$verdict" = PASS ] || bench_fail
}
