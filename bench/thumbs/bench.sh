# Thumbnail grid benchmarks on 1,000 copies of the camera JPEG with an embedded preview: the grid's first
# screen (40 thumbnails) and all of its thumbnails, each against the exiv2 command extracting the first
# preview of the same files into a scratch folder. The grid is switched on half a second after the list
# window opened, as a user reading the list would (the helpers start with the list window); its
# times run from the switch. And the resident memory of the program (MiB) over a grid of 20,000 such files
# (links to one), scrolled from top to bottom: before the list window opened, at its peak and after it
# closed. Sourced by bench/run.

bench_register thumbs thumbs-first-screen-vs-exiv2 thumbs-all-vs-exiv2 thumbs-20000-rss-mib
bench_targets vantora-bench-thumbs vantora-bench-thumbs-memory vantora-thumbnailer

thumbs_set() {
    local set=$BENCH_DATA/thumbs/DCIM/100PHOTO i
    if [ ! -d "$set" ]; then
        mkdir -p "$set"
        for i in $(seq -w 1 1000); do cp "$ROOT/../shared/testdata/camera/IMG_20180725_163423.jpg" "$set/IMG_$i.JPG"; done
        sync
    fi
    echo "$set"
}

# One run of the grid: "first-screen=S all=S files=N pictures=N".
thumbs_ours() {
    QT_QPA_PLATFORM=offscreen "$BUILD/bench/thumbs/vantora-bench-thumbs" "$(dirname "$1")" "$BUILD/src/vantora-thumbnailer" 2>/dev/null
}

# name, field of our line, how many files exiv2 is given; five rounds (this shared machine is noisy),
# taking turns at going first.
thumbs_compare() {
    local name=$1 field=$2 count=$3 set scratch=$BENCH_DATA/thumbs-scratch ours=() theirs=() i line files
    set=$(thumbs_set)
    mapfile -t files < <(find "$set" -name '*.JPG' | sort | head -n "$count")
    # Both read the same files from the page cache.
    thumbs_ours "$set" >/dev/null
    thumbs_mine() {
        line=$(thumbs_ours "$set")
        if ! grep -q "files=1000 pictures=1000" <<<"$line"; then
            echo "$name: the grid did not make every thumbnail: $line" >&2
            exit 1
        fi
        ours+=("$(sed -n "s/.*$field=\([0-9.]*\).*/\1/p" <<<"$line")")
    }
    thumbs_exiv2() {
        rm -rf "$scratch"; mkdir -p "$scratch"
        theirs+=("$(bench_time exiv2 -ep1 -l "$scratch" "${files[@]}")")
    }
    for i in 1 2 3 4 5; do
        if ((i % 2)); then thumbs_mine; thumbs_exiv2; else thumbs_exiv2; thumbs_mine; fi
    done
    rm -rf "$scratch"
    bench_line "$name" "$(bench_median "${ours[@]}")" "$(bench_median "${theirs[@]}")"
}

bench_thumbs_first_screen_vs_exiv2() { thumbs_compare thumbs-first-screen-vs-exiv2 first-screen 40; }
bench_thumbs_all_vs_exiv2() { thumbs_compare thumbs-all-vs-exiv2 all 1000; }

bench_thumbs_20000_rss_mib() {
    local dcim=$BENCH_DATA/thumbs-20000/DCIM i line
    # 100 camera folders of 200 links each.
    mkdir -p "$dcim/100PHOTO"
    cp "$ROOT/../shared/testdata/camera/IMG_20180725_163423.jpg" "$dcim/100PHOTO/IMG_0001.JPG"
    for i in $(seq -w 2 200); do ln "$dcim/100PHOTO/IMG_0001.JPG" "$dcim/100PHOTO/IMG_0$i.JPG"; done
    for i in $(seq 101 199); do cp -al "$dcim/100PHOTO" "$dcim/${i}PHOTO"; done
    line=$(QT_QPA_PLATFORM=offscreen "$BUILD/bench/thumbs/vantora-bench-thumbs-memory" "$dcim" \
        "$BUILD/src/vantora-thumbnailer" 2>/dev/null) || {
        echo "thumbs-20000-rss-mib: the grid did not finish: $line" >&2
        exit 1
    }
    if ! grep -q "files=20000" <<<"$line"; then
        echo "thumbs-20000-rss-mib: the grid did not list every file: $line" >&2
        exit 1
    fi
    sed -n 's/^start=\([0-9]*\) peak=\([0-9]*\) closed=\([0-9]*\).*/thumbs-20000-rss-mib: start \1 peak \2 closed \3/p' <<<"$line"
    rm -rf "$BENCH_DATA/thumbs-20000"
}
