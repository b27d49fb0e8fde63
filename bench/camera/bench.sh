# Camera benchmark: a whole copy from a camera by cable, through libgphoto2's "Directory Browse" camera (a
# folder shown as a camera), against the gphoto2 command fetching every file into an empty folder + sync.
# Sourced by bench/run. VANTORA_BENCH_CAMERA_MIB (default 1024) and VANTORA_BENCH_CAMERA_FILES (default
# 1000) make the set smaller for a quick check.

bench_register camera camera-import-vs-gphoto2
bench_targets vantora-import

# The folder camera alone, through libgphoto2's own CAMLIBS and IOLIBS: no USB port is asked.
camera_drivers() {
    local drivers=$BENCH_DATA/camera-drivers
    if [ ! -d "$drivers" ]; then
        mkdir -p "$drivers/camlibs" "$drivers/iolibs"
        ln -s "$(pkg-config --variable=driverdir libgphoto2)/directory.so" "$drivers/camlibs/"
        ln -s "$(pkg-config --variable=driverdir libgphoto2_port)/disk.so" "$drivers/iolibs/"
    fi
    export CAMLIBS=$drivers/camlibs IOLIBS=$drivers/iolibs
}

# Mixed sizes: nine in ten files are small photos, the rest large; 1 GiB and 1,000 files in all.
camera_set() {
    local set=$BENCH_DATA/camera mib=${VANTORA_BENCH_CAMERA_MIB:-1024} files=${VANTORA_BENCH_CAMERA_FILES:-1000}
    if [ ! -d "$set" ]; then
        local small=$((files * 9 / 10)) large=$((files - files * 9 / 10))
        local small_bytes=$(((mib << 20) * 45 / 100 / small)) large_bytes=$(((mib << 20) * 55 / 100 / large))
        mkdir -p "$set/DCIM/100CANON" "$set/DCIM/101CANON"
        head -c $((small * small_bytes)) /dev/urandom |
            split -b "$small_bytes" -d -a 4 --additional-suffix=.JPG - "$set/DCIM/100CANON/IMG_"
        head -c $((large * large_bytes)) /dev/urandom |
            split -b "$large_bytes" -d -a 4 --additional-suffix=.MOV - "$set/DCIM/101CANON/MVI_"
        sync
    fi
    echo "$set"
}

bench_camera_import_vs_gphoto2() {
    local set dst=$BENCH_DATA/camera-dst settings=$BENCH_DATA/camera-settings.txt ours=() theirs=() i
    camera_drivers
    set=$(camera_set)
    cat >"$settings" <<SETTINGS
SourceEditText=gphoto2://[disk:$set]/
CameraModel=Directory Browse
AllFileChecked=1
AllFileDir=$dst/
SETTINGS
    camera_ours() { rm -rf "$dst"; mkdir -p "$dst"; sync; ours+=("$(bench_time copy_driver "$settings")"); }
    camera_theirs() {
        rm -rf "$dst"; mkdir -p "$dst"; sync
        theirs+=("$(bench_time sh -c "cd '$dst' && gphoto2 --quiet --camera 'Directory Browse' --port 'disk:$set' --get-all-files && sync")")
    }
    # The tools take turns at going first, as the copy group's do.
    for i in 1 2 3 4; do
        if ((i % 2)); then camera_ours; camera_theirs; else camera_theirs; camera_ours; fi
    done
    rm -rf "$dst" "$set"
    bench_line camera-import-vs-gphoto2 "$(bench_median "${ours[@]}")" "$(bench_median "${theirs[@]}")"
}
