# Copy benchmarks of the transfer engine: whole runs of vantora-import against cp -a + sync,
# shooting-date lookups against the exiv2 command, and the longest event-loop pause during a large copy.
# Sourced by bench/run.

bench_register copy copy-mixed-vs-cp copy-small-vs-cp move-mixed-vs-cp-rm shooting-date-vs-exiv2 copy-longest-pause-ms
bench_targets vantora-import

# The import program of the build, and a quiet run of it; the other groups use these too.
import_tool() { "$BUILD/src/vantora-import" "$@"; }
copy_driver() { import_tool --quiet "$@"; }

# 1 GiB: 200 x 4 MiB + 4 x 50 MiB, in two camera folders.
copy_mixed_set() {
    local set=$BENCH_DATA/mixed
    if [ ! -d "$set" ]; then
        mkdir -p "$set/DCIM/100CANON" "$set/DCIM/101CANON"
        head -c $((800 << 20)) /dev/urandom | split -b 4M -d -a 3 --additional-suffix=.JPG - "$set/DCIM/100CANON/IMG_"
        head -c $((200 << 20)) /dev/urandom | split -b 50M -d -a 1 --additional-suffix=.MOV - "$set/DCIM/101CANON/MVI_"
        sync
    fi
    echo "$set"
}

# 20,000 x 16 KiB in four folders.
copy_small_set() {
    local set=$BENCH_DATA/small
    if [ ! -d "$set" ]; then
        for d in 100 101 102 103; do
            mkdir -p "$set/DCIM/${d}CANON"
            head -c $((5000 * 16384)) /dev/urandom | split -b 16K -d -a 4 --additional-suffix=.JPG - "$set/DCIM/${d}CANON/IMG_"
        done
        sync
    fi
    echo "$set"
}

# Settings of a run of every file into a folder named by the transfer date.
copy_settings() { # source dest move
    local file=$BENCH_DATA/settings.txt
    cat >"$file" <<SETTINGS
SourceEditText=$1/
DirCreateChecked=1
DirNameEditText=[yyyymmdd]
sDayEditText=-
AllFileChecked=1
AllFileDir=$2
DelChecked=$3
SETTINGS
    echo "$file"
}

# This machine's disk favours or penalises whichever writer comes first after a removal, so the two
# tools take turns at going first: four rounds, each tool first in two of them.
copy_compare() { # name set
    local name=$1 set=$2 dst=$BENCH_DATA/dst ours=() theirs=() i settings
    settings=$(copy_settings "$set/DCIM" "$dst" 0)
    copy_ours() { rm -rf "$dst"; mkdir -p "$dst"; sync; bench_warm "$set"; ours+=("$(bench_time copy_driver "$settings")"); }
    copy_theirs() {
        rm -rf "$dst"; mkdir -p "$dst"; sync; bench_warm "$set"
        theirs+=("$(bench_time sh -c "cp -a '$set/DCIM' '$dst/$(date +%Y-%m-%d)' && sync")")
    }
    for i in 1 2 3 4; do
        if ((i % 2)); then copy_ours; copy_theirs; else copy_theirs; copy_ours; fi
    done
    rm -rf "$dst"
    bench_line "$name" "$(bench_median "${ours[@]}")" "$(bench_median "${theirs[@]}")"
}

bench_copy_mixed_vs_cp() { copy_compare copy-mixed-vs-cp "$(copy_mixed_set)"; }
bench_copy_small_vs_cp() { copy_compare copy-small-vs-cp "$(copy_small_set)"; }

# A move of the mixed set from $BENCH_DATA/card/DCIM into $BENCH_DATA/dst with the given settings, against
# cp -a + sync + rm -r; each round starts from a fresh card (and no history).
move_compare() { # name settings
    local name=$1 settings=$2 master src=$BENCH_DATA/card dst=$BENCH_DATA/dst ours=() theirs=() i
    master=$(copy_mixed_set)
    fresh_card() { rm -rf "$src" "$dst" "$BENCH_DATA"/history.sqlite*; mkdir -p "$dst"; cp -a "$master" "$src"; sync; }
    move_ours() { fresh_card; ours+=("$(bench_time copy_driver "$settings")"); }
    move_theirs() {
        fresh_card
        theirs+=("$(bench_time sh -c "cp -a '$src/DCIM' '$dst/$(date +%Y-%m-%d)' && sync && rm -r '$src/DCIM'")")
    }
    for i in 1 2 3 4; do
        if ((i % 2)); then move_ours; move_theirs; else move_theirs; move_ours; fi
    done
    rm -rf "$src" "$dst" "$BENCH_DATA"/history.sqlite*
    bench_line "$name" "$(bench_median "${ours[@]}")" "$(bench_median "${theirs[@]}")"
}

bench_move_mixed_vs_cp_rm() {
    move_compare move-mixed-vs-cp-rm "$(copy_settings "$BENCH_DATA/card/DCIM" "$BENCH_DATA/dst" 1)"
}

bench_shooting_date_vs_exiv2() {
    local set=$BENCH_DATA/dates one ours=() theirs=() i
    mkdir -p "$set"
    one=$set/one.jpg
    local camera=$ROOT/../shared/testdata/camera/canon-dslr.jpg
    if [ -f "$camera" ]; then
        cp "$camera" "$one"
    else
        ffmpeg -loglevel error -f lavfi -i color=c=gray:s=640x480 -frames:v 1 "$one"
    fi
    exiv2 -M"set Exif.Photo.DateTimeOriginal 2017:03:05 10:11:12" "$one"
    for i in $(seq -w 1 2000); do cp "$one" "$set/IMG_$i.JPG"; done
    rm "$one"
    local files=("$set"/*.JPG)
    for i in 1 2 3; do
        ours+=("$(bench_time import_tool --dates "${files[@]}")")
        theirs+=("$(bench_time exiv2 -g Exif.Photo.DateTimeOriginal -Pv "${files[@]}")")
    done
    rm -rf "$set"
    bench_line shooting-date-vs-exiv2 "$(bench_median "${ours[@]}")" "$(bench_median "${theirs[@]}")"
}

bench_copy_longest_pause_ms() {
    local set=$BENCH_DATA/one dst=$BENCH_DATA/dst pauses=() i settings line
    mkdir -p "$set/DCIM/100CANON"
    head -c $((1 << 30)) /dev/urandom >"$set/DCIM/100CANON/MVI_0001.MOV"
    sync
    for i in 1 2 3; do
        rm -rf "$dst"; mkdir -p "$dst"; sync
        settings=$(copy_settings "$set/DCIM" "$dst" 0)
        line=$(import_tool --quiet --pause-stats "$settings")
        pauses+=("$(sed -n 's/.*longest-pause-ms=\([0-9.]*\).*/\1/p' <<<"$line")")
    done
    rm -rf "$set" "$dst"
    echo "copy-longest-pause-ms: $(bench_median "${pauses[@]}")"
}
