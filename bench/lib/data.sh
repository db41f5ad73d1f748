# Builds the benchmark's photos, deterministically, with ImageMagick and
# exiftool. Sourced by bench/run; uses DATA, BENCH_LIB and the size settings.
#
# Every set is a folder of hard links to a few base photos: building 10,000
# files costs one photo, and every round works on a `cp -r` of the set, in
# which each name is a file of its own.

# Gradient colours and dates of the base photos. The last date is half an
# hour before midnight on New Year's Eve, so a one-hour shift must carry into
# the next day, month and year.
BASE_COLOURS=('#6080a0-#a08060' '#407050-#c0b090' '#905040-#405090')
BASE_DATES=('2023:06:14 09:41:27' '2023:08:02 17:05:48' '2023:12:31 23:30:05')

# The metadata a camera and a photo manager leave in a file: IFD0, the EXIF
# sub-IFD with both dates, GPS, a maker note, an IFD1 thumbnail (JPEG only)
# and XMP that repeats the dates. Only ExifIFD:DateTimeOriginal and
# ExifIFD:CreateDate (0x9003, 0x9004) are meant to change in a run.
tag_photo() {
    local file=$1 date=$2 thumb=${3:-}
    local args=(
        -IFD0:Make='NIKON CORPORATION' -IFD0:Model='NIKON D850' -IFD0:Software='Ver.1.10'
        -IFD0:ModifyDate="$date" -IFD0:Artist='ShotDate benchmark' -IFD0:Copyright='CC0'
        -IFD0:Orientation#=1
        -ExifIFD:ExifVersion=0232 -ExifIFD:DateTimeOriginal="$date" -ExifIFD:CreateDate="$date"
        -ExifIFD:SubSecTimeOriginal=42 -ExifIFD:OffsetTimeOriginal=+02:00
        -ExifIFD:ExposureTime=1/250 -ExifIFD:FNumber=5.6 -ExifIFD:ISO=200 -ExifIFD:FocalLength=50
        -ExifIFD:LensModel='50mm f/1.8' -ExifIFD:ColorSpace#=1
        -GPS:GPSLatitude=48.8584 -GPS:GPSLatitudeRef=N -GPS:GPSLongitude=2.2945 -GPS:GPSLongitudeRef=E
        "-MakerNotes<=$DATA/makernote.bin"
        -XMP-xmp:CreatorTool='Photo manager 4.2' -XMP-xmp:CreateDate="$date" -XMP-xmp:Rating=4
        -XMP-photoshop:DateCreated="$date" -XMP-exif:DateTimeOriginal="$date" -XMP-dc:Subject=holiday
    )
    [[ -n $thumb ]] && args+=("-ThumbnailImage<=$thumb")
    exiftool -q -q -overwrite_original "${args[@]}" "$file" >/dev/null
}

# make_base_jpeg OUT VARIANT WIDTH HEIGHT QUALITY NOISE [convert options...]
# Noise over a gradient: a photo's size per pixel, without a photo.
make_base_jpeg() {
    local out=$1 variant=$2 width=$3 height=$4 quality=$5 noise=$6
    shift 6
    convert -limit memory 1GiB -seed "$((variant + 1))" -size "${width}x${height}" \
        "gradient:${BASE_COLOURS[variant]}" -attenuate "$noise" +noise Gaussian "$@" \
        -quality "$quality" "$out"
    convert "$out" -strip -thumbnail 160x120 -quality 75 "$out.thumb.jpg"
    tag_photo "$out" "${BASE_DATES[variant]}" "$out.thumb.jpg"
    rm -f "$out.thumb.jpg"
}

make_base_tiff() {
    local out=$1 width=$2 height=$3
    convert -seed 7 -size "${width}x${height}" "gradient:${BASE_COLOURS[0]}" -attenuate 0.3 \
        +noise Gaussian -depth 8 -compress none "$out"
    tag_photo "$out" "${BASE_DATES[2]}"
}

# link_set NAME COUNT PRINTF_PATTERN BASE... : NAME gets COUNT names, the
# bases taken in turn.
link_set() {
    local name=$1 count=$2 pattern=$3
    shift 3
    mkdir -p "$DATA/$name"
    perl -e 'my ($dir, $n, $pat, @bases) = @ARGV;
             for my $i (1 .. $n) {
                 my $to = sprintf("%s/$pat", $dir, $i);
                 link($bases[($i - 1) % @bases], $to) or die "link $to: $!\n";
             }' "$DATA/$name" "$count" "$pattern" "$@"
}

copy_corpus() {
    mkdir -p "$DATA/corpus"
    find "$CORPUS" -maxdepth 1 -type f ! -name README.md ! -name SHA256SUMS ! -name SOURCES.tsv \
        -exec cp -t "$DATA/corpus" {} +
    chmod -R u+w "$DATA/corpus"
}

# Writes NAME.samples, for up to three files of the set that carry both
# dates as plain EXIF text: the file's DATE_TAGS values, then both dates plus
# one hour. JPEG only in the corpus, so that every tool can be checked on
# them.
pick_samples() {
    local name=$1 candidates=()
    if [[ $name == corpus ]]; then
        mapfile -t candidates < <({ names_in "$DATA/$name" '*.jpg'; names_in "$DATA/$name" '*.jpeg'; } | sort)
    else
        mapfile -t candidates < <(names_in "$DATA/$name" | head -n 3)
    fi
    : >"$DATA/$name.samples"
    [[ ${#candidates[@]} -eq 0 ]] && return 0
    local line dto cd picked=0 date='^[0-9]{4}:[0-9]{2}:[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}$'
    while IFS= read -r line; do
        IFS=$'\t' read -r _ dto cd _ <<<"$line"
        [[ $dto =~ $date && $cd =~ $date && $dto != 0000* && $cd != 0000* ]] || continue
        printf '%s\t%s\t%s\n' "$line" "$(plus_one_hour "$dto")" "$(plus_one_hour "$cd")" >>"$DATA/$name.samples"
        picked=$((picked + 1))
        ((picked < 3)) || break
    done < <(cd "$DATA/$name" && exiftool -q -q -T "${DATE_TAGS[@]}" "${candidates[@]}")
}

# The recipe names everything the photos depend on; a kept data folder with
# the same recipe is used again as it is.
data_recipe() {
    printf 'format 2\nquick %s\nfiles %s\ntiffs %s\nsmall %s\nlarge %s\ncorpus %s\nexiftool %s\nimagemagick %s\n' \
        "$QUICK" "$JPEG_FILES" "$TIFF_FILES" "${SMALL_COUNTS[*]}" "$LARGE_FILES" \
        "$( [[ -n $CORPUS ]] && (names_in "$CORPUS" | md5sum | cut -c1-12) || echo none)" \
        "$(exiftool -ver)" "$(convert -version | sed -n '1s/^Version: ImageMagick \([^ ]*\).*/\1/p')"
}

build_data() {
    local recipe
    recipe="$(data_recipe)"
    if [[ -f $DATA/.recipe && "$(cat "$DATA/.recipe")" == "$recipe" ]]; then
        say "photos: using the ones already in $DATA"
        return 0
    fi
    rm -rf "$DATA"
    mkdir -p "$DATA/bases"
    local start
    start=${EPOCHREALTIME/./}
    perl "$BENCH_LIB/makernote.pl" >"$DATA/makernote.bin"

    say "photos: ${JPEG_FILES} JPEGs of ${JPEG_W}x${JPEG_H}"
    local bases=() v
    for v in 0 1 2; do
        make_base_jpeg "$DATA/bases/photo$v.jpg" "$v" "$JPEG_W" "$JPEG_H" 92 0.32
        bases+=("$DATA/bases/photo$v.jpg")
    done
    link_set jpeg "$JPEG_FILES" 'DSC_%04d.JPG' "${bases[@]}"
    pick_samples jpeg
    link_set probe 4 'DSC_%04d.JPG' "${bases[@]}"

    say "photos: ${TIFF_FILES} TIFFs of ${TIFF_W}x${TIFF_H}, uncompressed"
    make_base_tiff "$DATA/bases/scan.tif" "$TIFF_W" "$TIFF_H"
    link_set tiff "$TIFF_FILES" 'SCAN_%04d.TIF' "$DATA/bases/scan.tif"
    pick_samples tiff

    say "photos: small ones for ${SMALL_COUNTS[*]} files, $LARGE_FILES large ones"
    make_base_jpeg "$DATA/bases/small.jpg" 0 640 480 85 0.2
    local count
    for count in "${SMALL_COUNTS[@]}"; do
        link_set "small-$count" "$count" 'IMG_%05d.JPG' "$DATA/bases/small.jpg"
        pick_samples "small-$count"
    done
    make_base_jpeg "$DATA/bases/large.jpg" 1 "$LARGE_W" "$LARGE_H" 100 1.5 -sampling-factor 1x1
    link_set large "$LARGE_FILES" 'PANO_%04d.JPG' "$DATA/bases/large.jpg"
    pick_samples large

    if [[ -n $CORPUS ]]; then
        say "photos: a copy of the camera corpus in $CORPUS"
        copy_corpus
        pick_samples corpus
    fi
    printf '%s\n' "$recipe" >"$DATA/.recipe"
    say "photos: ready in $(seconds_between "$start" "${EPOCHREALTIME/./}") s"
}
