#!/usr/bin/env bash
# The plugins inside AviSynth+: the 2.5 module driven by avs2y4m, the command
# users run scripts with, and the C-interface module driven by the tests' own
# host program on AviSynth+'s C interface:
#   avisynthplus_test.sh CASE AVS2Y4M PLUGIN COMMAND SAMPLE VALGRIND C_HOST C_MODULE CMAKE BUILD_DIR LIBDIR
#                        [VS_HOST VS_MODULE]
# (VALGRIND empty when it is not installed). CASE is one of
#   same-bytes   4:2:2 clips give the quillfen command's bytes, both forms
#                and sup, with and without Prefetch(2)
#   four-two-oh  4:2:0 clips through the host's own conversions: luma
#                unchanged, chroma near the command's
#   autoload     a plugin in ~/.local/lib/avisynth, the one autoload folder,
#                is found without LoadPlugin
#   refusals     the constructor's four messages reach the user exactly;
#                the newer formats that share the YV12 bits, and RGB, are
#                refused; no output is left behind
#   runner       avs2y4m itself: a pipe gives the file's bytes, a reader that
#                goes early ends it quietly, a failure or a stop part way
#                leaves no output, a stop inside a long frame ends it within
#                a second with whole frames only, and every refusal is one
#                line saying what to do
#   valgrind     no invalid access and no definite leak for one filter,
#                Prefetch(2) and a chain of two filters, on 4:2:0
# and for the C-interface module
#   c-same-bytes  YUY2 and YUV 4:2:0, 4:2:2 and 4:4:4 at 8 to 16 bits give the
#                 command's bytes, each in one of four settings in turn (both
#                 forms, sup, fixed and converging passes, with and without
#                 Prefetch(2) and Prefetch(4))
#   c-properties  a custom property, _Matrix and _ChromaLocation leave
#                 Quillfen as they came, on YUY2, YV12, 10 and 16 bits
#   c-refusals    formats it does not take, each named as AviSynth+ names
#                 it with a call that converts it to one it takes; no video;
#                 the argument messages, 64-bit integers and the bound on
#                 passes included; odd sizes; a frame the host cannot
#                 allocate; the 2.5 module loaded after it
#   c-valgrind    no invalid access and no definite leak for a chain of two
#                 calls on 16-bit 4:4:4, on 4:2:0 and on float 4:2:0
#   c-autoload    after cmake --install into a fresh prefix (~/.local), a
#                 script without LoadPlugin, whose one autoload folder is the
#                 prefix's, filters a 10-bit clip; the 2.5 module is not in
#                 that folder
#   c-float       float 4:2:0, 4:2:2 and 4:4:4 made from 8-bit clips give
#                 the VapourSynth module's bytes (VS_HOST running VS_MODULE)
#                 in the settings of c-same-bytes
# The clips are 64 x 48 pieces of SAMPLE, cut and converted by AviSynth+.
set -euo pipefail
case_name=$1 runner=$2 plugin=$3 command=$4 sample=$5 valgrind=${6:-}
c_host=${7:-} c_module=${8:-} cmake=${9:-} build=${10:-} libdir=${11:-}
vs_host=${12:-} vs_module=${13:-}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

run_script() {  # OUTPUT SCRIPT [AVS2Y4M OPTIONS...]
  local output=$1 script=$2
  shift 2
  printf '%s\n' "$script" >script.avs
  "$runner" --quiet "$@" script.avs "$output"
}

source_422="Y4MSource(\"$sample\").Crop(0, 0, 64, 48).Trim(0, 3)"
# Only the module under test: no copy in AviSynth+'s autoload folders (its
# libdir's, ~/.local/lib/avisynth) is loaded beside it. The autoload cases
# name their one folder with AddAutoloadDir.
no_autoload="ClearAutoloadDirs()"
if [[ $case_name == c-* ]]; then
  load="$no_autoload
LoadPlugin(\"$c_module\")"
  # The C host: its status, its message in message.txt, the properties
  # named after OUTPUT on its standard output.
  run_c() {  # OUTPUT SCRIPT [PROPERTY...]
    local output=$1
    printf '%s\n' "$2" >script.avs
    shift 2
    "$c_host" script.avs "$output" "$@" 2>message.txt
  }
else
  load="$no_autoload
LoadPlugin(\"$plugin\")"
  # Without frame properties, which the 2.5 module cannot pass on: its frames
  # and the command's then have the same Y4M header.
  source_422="$source_422.propClearAll()"
  run_script in422.y4m "$source_422" || fail "cutting the 4:2:2 clip"
  run_script in420.y4m "$source_422.ConvertToYV12()" || fail "converting the 4:2:0 clip"
fi

# The script's Quillfen arguments and the command's for the same settings.
settings=(
  "||"
  "gaussian=true, radius=2|gaussian=true radius=2|Prefetch(2)"
  "sup=true, iterations=3|sup=true iterations=3|Prefetch(2)"
)

run_command() {  # INPUT OUTPUT ARGUMENTS
  # shellcheck disable=SC2086
  "$command" --quiet "$1" "$2" $3 || fail "quillfen $3 on $1"
}

# Prints the largest chroma difference between two Y4M files with the same
# header; fails when any luma byte differs or the chroma is more than LIMIT apart.
compare() {  # A B LIMIT
  local header width height frame
  header=$(head -n 1 "$1")
  [ "$header" = "$(head -n 1 "$2")" ] && [ "$(stat -c %s "$1")" = "$(stat -c %s "$2")" ] ||
    { echo "$1 and $2 differ in format or length"; return 1; }
  [[ $header =~ \ W([0-9]+)\ H([0-9]+) ]] && width=${BASH_REMATCH[1]} height=${BASH_REMATCH[2]}
  case $header in *C422*) frame=$((2 * width * height)) ;; *) frame=$((3 * width * height / 2)) ;; esac
  # cmp -l: 1-based offset, then both bytes in octal.
  { cmp -l "$1" "$2" || true; } | awk -v header=$((${#header} + 1)) -v record=$((6 + frame)) \
    -v luma=$((width * height)) -v limit="$3" '
    function octal(text,   value, i) { value = 0; for (i = 1; i <= length(text); i++) value = value * 8 + substr(text, i, 1); return value }
    { at = ($1 - 1 - header) % record - 6
      if (at < luma) { print "the luma differs at byte " $1; bad = 1; exit }
      difference = octal($2) - octal($3); if (difference < 0) difference = -difference
      if (difference > largest) largest = difference }
    END { if (bad) exit 1; print "same luma; largest chroma difference " largest + 0; exit (largest > limit) }'
}

no_output_left() {  # WHAT
  [ -z "$(ls out.y4m* 2>/dev/null)" ] || fail "$1 left $(ls out.y4m*)"
}

refuse() {  # SCRIPT MESSAGE [AVS2Y4M OPTIONS...]: fails with MESSAGE on one line and writes nothing
  local status=0
  run_script out.y4m "$1" "${@:3}" 2>refusal.txt || status=$?
  [ "$status" = 1 ] || fail "exit status $status, not 1, for: $1"
  [ "$(wc -l <refusal.txt)" = 1 ] && grep -qF -- "$2" refusal.txt ||
    fail "refused with \"$(cat refusal.txt)\", expected \"$2\""
  no_output_left "$1"
}

case $case_name in
  same-bytes)
    for entry in "${settings[@]}"; do
      IFS='|' read -r script_arguments command_arguments prefetch <<<"$entry"
      run_script host.y4m "$load
Y4MSource(\"in422.y4m\").Quillfen($script_arguments)
$prefetch" || fail "AviSynth+ with Quillfen($script_arguments) $prefetch"
      run_command in422.y4m command.y4m "$command_arguments"
      cmp -s host.y4m command.y4m || fail "Quillfen($script_arguments) $prefetch differs from the command"
      ! cmp -s host.y4m in422.y4m || fail "Quillfen($script_arguments) changed no chroma"
    done
    ;;
  four-two-oh)
    for prefetch in "" "Prefetch(2)"; do
      run_script host.y4m "$load
Y4MSource(\"in420.y4m\").Quillfen()
$prefetch" || fail "AviSynth+ on 4:2:0 $prefetch"
      compare host.y4m in420.y4m 255 >/dev/null || fail "the luma changed $prefetch"
      run_command in420.y4m command.y4m ""
      # AviSynth+ converts between 4:2:0 and YUY2 with its own rounding.
      distance=$(compare host.y4m command.y4m 2) ||
        fail "4:2:0 chroma $prefetch is further from the command's than the host's conversions explain: $distance"
      echo "against the command ${prefetch:-without Prefetch}: $distance"
    done
    ;;
  autoload)
    mkdir -p home/.local/lib/avisynth
    ln -s "$plugin" home/.local/lib/avisynth/
    HOME="$work/home" run_script host.y4m "$no_autoload
AddAutoloadDir(\"$work/home/.local/lib/avisynth\")
Y4MSource(\"in422.y4m\").Quillfen()" || fail "the plugin was not autoloaded from ~/.local/lib/avisynth"
    run_command in422.y4m command.y4m ""
    cmp -s host.y4m command.y4m || fail "the autoloaded plugin's frames differ from the command's"
    ;;
  refusals)
    refuse "$load
BlankClip(pixel_type=\"YUY2\", width=64, height=48).Quillfen(radius=0)" \
      'Quillfen: "radius" parameter must be greater than or equal to one.'
    refuse "$load
BlankClip(pixel_type=\"YV12\", width=64, height=48).Quillfen(iterations=-1)" \
      'Quillfen: "iterations" parameter must be between zero and 1000 inclusive.'
    refuse "$load
BlankClip(pixel_type=\"YUY2\", width=64, height=48).Quillfen(threshold=256)" \
      'Quillfen: "threshold" parameter must be between zero and 255 inclusive.'
    refuse "$load
BlankClip(pixel_type=\"YV12\", width=64, height=48).KillVideo().Quillfen()" "Quillfen: the clip has no video."
    for format in RGB32 YV16 YV24 YV411 YUV420P16; do
      refuse "$load
BlankClip(pixel_type=\"$format\", width=64, height=48).Quillfen()" "Quillfen: YUY2 or YV12 data only."
    done
    ;;
  runner)
    # A pipe carries the file's bytes; a reader that stops early ends the run quietly.
    run_script - "$load
Y4MSource(\"in422.y4m\").Quillfen()" >piped.y4m || fail "writing to a pipe"
    run_command in422.y4m command.y4m ""
    cmp -s piped.y4m command.y4m || fail "the pipe's bytes differ from the command's"
    status=$(run_script - "$source_422" | head -c 100 >/dev/null; echo "${PIPESTATUS[0]}")
    [ "$status" = 0 ] || fail "exit status $status when the reader stops early"

    # Refusals of the command's own, each naming the way out (the formats: avs2y4m_test.sh).
    refuse "BlankClip(pixel_type=\"YV12\", width=64, height=48, length=2).Foo()" "Script error: There is no function named 'Foo'."
    refuse "42" "avs2y4m: script.avs gives no clip; its last line must be one"
    echo "not a video" >text.y4m
    head -c 1000 in422.y4m >cut.y4m
    head -n 1 in422.y4m >empty.y4m
    printf 'YUV4MPEG2 W64 H48 F25:1 C411\n' >c411.y4m
    mkfifo fifo.y4m
    for entry in "text.y4m|is not a Y4M file; make one with ffmpeg" "cut.y4m|ends inside a frame" \
      "empty.y4m|has no frames" "fifo.y4m|is not a file; AviSynth+ reads frames in any order" \
      "c411.y4m|has a header Y4MSource cannot read: Y4M input: colour format \"C411\" is not supported"; do
      IFS='|' read -r file message <<<"$entry"
      refuse "Y4MSource(\"$file\")" "Y4MSource: $file $message"
    done
    refuse "$source_422" "cannot load AviSynth+ (no/libavisynth.so: " --library no/libavisynth.so

    # A failure part way (a file size limit) removes the partial file and
    # keeps an earlier OUTPUT as it was; so does a stop (SIGTERM).
    echo "earlier" >out.y4m
    status=0
    (ulimit -f 20 && run_script out.y4m "$source_422" 2>refusal.txt) || status=$?
    [ "$status" = 1 ] && grep -q "out.y4m cannot be written: File too large" refusal.txt ||
      fail "status $status and \"$(cat refusal.txt)\" on a full file"
    [ "$(ls out.y4m*)" = out.y4m ] && [ "$(cat out.y4m)" = earlier ] || fail "the failed run touched OUTPUT"
    rm out.y4m
    printf '%s\n' "$load" "BlankClip(pixel_type=\"YUY2\", width=640, height=480, length=1000).Quillfen(iterations=200)" \
      >script.avs
    "$runner" script.avs out.y4m 2>refusal.txt &
    until ls out.y4m.partial-* >/dev/null 2>&1 || ! kill -0 $! 2>/dev/null; do sleep 0.1; done
    kill -TERM $! 2>/dev/null || true
    status=0
    wait $! || status=$?
    [ "$status" = 130 ] && grep -q "interrupted after .* frames; out.y4m not written" refusal.txt ||
      fail "status $status and \"$(cat refusal.txt)\" when stopped"
    no_output_left "a stopped run"
    # Inside a frame of a thousand passes (minutes long), a stop still ends
    # the run within a second; standard output keeps the whole frames
    # written before it.
    printf '%s\n' "$load" "c = BlankClip(pixel_type=\"YUY2\", width=640, height=480, length=1)" \
      "c.Quillfen() + c.Quillfen(iterations=1000, radius=8)" >script.avs
    "$runner" script.avs - >piped.y4m 2>refusal.txt &
    until [ -s piped.y4m ] || ! kill -0 $! 2>/dev/null; do sleep 0.1; done
    sleep 0.5
    started=$(date +%s%N)
    kill -TERM $! 2>/dev/null || true
    status=0
    wait $! || status=$?
    took=$((($(date +%s%N) - started) / 1000000))
    [ "$status" = 130 ] && [ "$took" -lt 1500 ] && grep -q "interrupted after 1 frames$" refusal.txt ||
      fail "status $status after $took ms and \"$(cat refusal.txt)\" when stopped inside a frame"
    [ "$(stat -c %s piped.y4m)" = $(($(head -n 1 piped.y4m | wc -c) + 6 + 2 * 640 * 480)) ] ||
      fail "standard output holds $(stat -c %s piped.y4m) bytes after a stop, not the header and one frame"
    "$runner" --version | grep -q "^AviSynth+ 3" || fail "--version names no AviSynth+"
    ;;
  valgrind)
    [ -n "$valgrind" ] || { echo "skipped: valgrind is not installed (Debian: valgrind)"; exit 77; }
    scripts=(
      "Y4MSource(\"in420.y4m\").Quillfen()"
      "Y4MSource(\"in420.y4m\").Quillfen(sup=true)
Prefetch(2)"
      "s = Y4MSource(\"in420.y4m\")
StackHorizontal(s, s.Quillfen().Quillfen(gaussian=true))"
    )
    for script in "${scripts[@]}"; do
      printf '%s\n%s\n' "$load" "$script" >script.avs
      "$valgrind" -q --undef-value-errors=no --leak-check=full --errors-for-leak-kinds=definite --error-exitcode=99 \
        "$runner" --quiet script.avs out.y4m 2>valgrind.log || { cat valgrind.log >&2; fail "valgrind on: $script"; }
      if [ -s valgrind.log ]; then cat valgrind.log >&2; fail "valgrind reported on: $script"; fi
    done
    ;;
  c-same-bytes)
    # Each format is made from the 8-bit sample; Blur fills the low bits of
    # the deeper ones.
    formats=("ConvertToYUY2()" "ConvertToYV12()" "ConvertToYV16()" "ConvertToYV24()")
    for bits in 10 12 14 16; do
      for layout in 420 422 444; do formats+=("ConvertToYUV$layout().ConvertBits($bits).Blur(0.5)"); done
    done
    # The script's arguments, the command's, and what ends the script. Each
    # format is checked in one setting, taken in turn: the module's own work
    # (planes, pitches and depth per format; arguments and instances per
    # setting) is then all covered, every setting meeting every layout and
    # 8 bits, while the settings' effect on the passes is the filter's, held
    # to the reference in every format by its own tests.
    c_settings=(
      "||"
      "gaussian=true, radius=2|gaussian=true radius=2|Prefetch(2)"
      "sup=true, iterations=3|sup=true iterations=3|Prefetch(4)"
      "gaussian=true, sup=true, threshold=0|gaussian=true sup=true threshold=0|"
    )
    for index in "${!formats[@]}"; do
      format=${formats[index]}
      clip="$source_422.$format"
      run_c in.y4m "$clip" || fail "$format: $(cat message.txt)"
      IFS='|' read -r script_arguments command_arguments prefetch <<<"${c_settings[index % ${#c_settings[@]}]}"
      run_c host.y4m "$load
$clip.Quillfen($script_arguments)
$prefetch" || fail "$format.Quillfen($script_arguments) $prefetch: $(cat message.txt)"
      run_command in.y4m command.y4m "$command_arguments"
      cmp -s host.y4m command.y4m || fail "$format.Quillfen($script_arguments) $prefetch differs from the command"
      ! cmp -s host.y4m in.y4m || fail "$format.Quillfen($script_arguments) changed no chroma"
      echo "$format: $(head -n 1 in.y4m | grep -o 'C[^ ]*'), the command's bytes with Quillfen($script_arguments) $prefetch"
    done
    ;;
  c-float)
    [ -n "$vs_host" ] || { echo "skipped: the VapourSynth host is not built"; exit 77; }
    # Only VS_MODULE: VapourSynth R65 autoloads its system plugin folder even
    # into a core made without autoloading, where a Quillfen installed there
    # would be "already loaded".
    mkdir -p config/vapoursynth
    echo "AutoloadSystemPluginDir=false" >config/vapoursynth/vapoursynth.conf
    export XDG_CONFIG_HOME="$work/config"
    float_settings=(
      "||"
      "gaussian=true, radius=2|gaussian=true radius=2|Prefetch(2)"
      "sup=true, iterations=3|sup=true iterations=3|Prefetch(4)"
      "gaussian=true, sup=true, threshold=0|gaussian=true sup=true threshold=0|"
    )
    for format in "ConvertToYV12()" "ConvertToYV16()" "ConvertToYV24()"; do
      clip="$source_422.$format"
      run_c in.y4m "$clip" || fail "$format: $(cat message.txt)"
      run_c float.out "$clip.FloatFromBytes()" || fail "$format.FloatFromBytes(): $(cat message.txt)"
      for entry in "${float_settings[@]}"; do
        IFS='|' read -r script_arguments host_arguments prefetch <<<"$entry"
        run_c avs.out "$load
$clip.FloatFromBytes().Quillfen($script_arguments)
$prefetch" || fail "$format float .Quillfen($script_arguments) $prefetch: $(cat message.txt)"
        # shellcheck disable=SC2086
        "$vs_host" "$vs_module" float:in.y4m vs.out $host_arguments || fail "$format float in VapourSynth ($host_arguments)"
        cmp -s avs.out vs.out || fail "$format float .Quillfen($script_arguments): AviSynth+ and VapourSynth differ"
        ! cmp -s avs.out float.out || fail "$format float .Quillfen($script_arguments) changed no chroma"
      done
      echo "$format float: the same bytes in both hosts in ${#float_settings[@]} settings"
    done
    ;;
  c-properties)
    for format in "ConvertToYUY2()" "ConvertToYV12()" "ConvertToYUV422().ConvertBits(10)" "ConvertToYUV444().ConvertBits(16)" "ConvertToYV24().FloatFromBytes()"; do
      run_c out.y4m "$load
$source_422.$format.propSet(\"quillfen_test\", 7).propSet(\"_Matrix\", 1).propSet(\"_ChromaLocation\", 2).Quillfen()" \
        quillfen_test _Matrix _ChromaLocation >properties.txt || fail "$format: $(cat message.txt)"
      [ "$(paste -s -d ' ' properties.txt)" = "quillfen_test=7 _Matrix=1 _ChromaLocation=2" ] ||
        fail "$format: the properties after Quillfen are $(paste -s -d ' ' properties.txt)"
    done
    ;;
  c-refusals)
    taken="YUY2 or YUV 4:2:0, 4:2:2 or 4:4:4 of 8 to 16 bits or float only"
    blank() { printf 'BlankClip(pixel_type="%s", width=%s, height=48)' "$1" "${2:-64}"; }
    expect() {  # SCRIPT MESSAGE: refused with MESSAGE, no output
      rm -f out.y4m
      local status=0
      run_c out.y4m "$1" || status=$?
      [ "$status" = 1 ] && grep -qF -- "$2" message.txt && [ ! -e out.y4m ] ||
        fail "$1: status $status, \"$(cat message.txt)\", expected \"$2\""
    }
    # Every format it does not take is named as AviSynth+'s PixelType()
    # names it, and the advice, added as written, gives a clip it takes.
    for format in RGB24 RGB32 RGB48 RGB64 RGBP RGBP10 RGBP16 RGBPS RGBAP RGBAP12 RGBAP16 RGBAPS Y8 Y10 Y16 Y32 \
      YV411 YUVA420 YUVA422P10 YUVA444P16 YUVA420PS; do
      run_c out.y4m "Assert(false, PixelType($(blank $format)))" || true
      name=$(head -n 1 message.txt)
      expect "$load
$(blank $format).Quillfen()" "Quillfen: the clip is $name; $taken: add "
      advice=$(sed -n 's/.*: add \(.*\) before Quillfen\.$/\1/p' message.txt)
      run_c out.y4m "$load
$(blank $format).$advice.Quillfen()" || fail "$format: the advice $advice gives: $(cat message.txt)"
    done
    # The clip, Quillfen's arguments, and the message: no video; integers
    # beyond 32 bits refused as themselves, never wrapped into another value
    # (radius=4294967297 would be 1); the bound on passes; odd sizes, which
    # only a source filter of someone else's can declare (SizedClip).
    iterations='Quillfen: "iterations" parameter must be between zero and 1000 inclusive.'
    too_wide='Quillfen: "radius" parameter must be less than the frame width and height.'
    refusals=(
      "$(blank RGB32)|radius=0|Quillfen: the clip is RGB32; $taken: add ConvertToYUV444() before Quillfen."
      "$(blank YV12).KillVideo()||Quillfen: the clip has no video."
      "$(blank YUV422P16)|radius=0, threshold=256|Quillfen: \"radius\" parameter must be greater than or equal to one."
      "$(blank YV12)|iterations=-1|$iterations"
      "$(blank YUY2)|threshold=256|Quillfen: \"threshold\" parameter must be between zero and 255 inclusive."
      "$(blank YUV444P10 63)|radius=48|$too_wide"
      "$(blank YUV420P10)|radius=4294967297, iterations=2|$too_wide"
      "$(blank YUV420P10)|radius=-4294967295|Quillfen: \"radius\" parameter must be greater than or equal to one."
      "$(blank YUV420P10)|iterations=4294967298|$iterations"
      "$(blank YUV420P10)|threshold=4294967336|Quillfen: \"threshold\" parameter must be between zero and 255 inclusive."
      "$(blank YUV420P10)|iterations=2147483647|$iterations"
      "$(blank YUY2)|iterations=1001|$iterations"
      "SizedClip($(blank YUY2), 63, 48)||Quillfen: the clip is YUY2 of 63x48; YUY2 needs an even width: make it even before the clip becomes YUY2, e.g. add Crop(0, 0, -1, 0) or AddBorders(0, 0, 1, 0) where it is 4:4:4 or RGB."
      "SizedClip($(blank YV16), 63, 48)||Quillfen: the clip is YV16 of 63x48; 4:2:2 needs an even width"
      "SizedClip($(blank YUV420P10), 64, 47)||Quillfen: the clip is YUV420P10 of 64x47; 4:2:0 needs an even height: make it even before the clip becomes YUV420P10, e.g. add Crop(0, 0, 0, -1) or AddBorders(0, 0, 0, 1) where it is 4:4:4 or RGB."
    )
    for entry in "${refusals[@]}"; do
      IFS='|' read -r clip arguments message <<<"$entry"
      expect "$load
$clip.Quillfen($arguments)" "$message"
    done
    # 4:4:4 takes an odd width; iterations takes its bound; float is taken.
    run_c out.y4m "$load
$(blank YUV444P10 63).Quillfen(iterations=1000)" || fail "an odd width in 4:4:4, 1000 passes: $(cat message.txt)"
    run_c out.y4m "$load
$(blank YUV420PS).Quillfen()" || fail "float 4:2:0: $(cat message.txt)"
    # A frame the host cannot allocate is refused in the host's own words.
    status=0
    AVISYNTH_C_HOST_HEADROOM=16 run_c out.y4m "$load
BlankClip(pixel_type=\"YV24\", width=4096, height=4096, length=1).Quillfen()" || status=$?
    [ "$status" = 1 ] && grep -q "^Could not allocate video frame. Out of memory. memory_max = " message.txt ||
      fail "a frame the host cannot allocate: status $status, \"$(cat message.txt)\""
    # With the 2.5 module loaded after this one, that one gets the calls:
    # it says so instead of filtering a 10-bit clip by other rules.
    expect "$load
LoadPlugin(\"$plugin\")
$source_422.ConvertToYUV420().ConvertBits(10).Quillfen()" \
      "Quillfen: both Quillfen modules are loaded, and this call went to the AviSynth 2.5 one (libquillfen), "
    ;;
  c-valgrind)
    [ -n "$valgrind" ] || { echo "skipped: valgrind is not installed (Debian: valgrind)"; exit 77; }
    for format in "ConvertToYUV444().ConvertBits(16)" "ConvertToYV12()" "ConvertToYV12().FloatFromBytes()"; do
      printf '%s\n%s\n' "$load" "$source_422.$format.Quillfen().Quillfen(gaussian=true, radius=2)" >script.avs
      "$valgrind" -q --undef-value-errors=no --leak-check=full --errors-for-leak-kinds=definite --error-exitcode=99 \
        "$c_host" script.avs out.y4m 2>valgrind.log || { cat valgrind.log >&2; fail "valgrind on $format"; }
      if [ -s valgrind.log ]; then cat valgrind.log >&2; fail "valgrind reported on $format"; fi
    done
    ;;
  c-autoload)
    # AviSynth+ autoloads from ~/.local/lib/avisynth: the prefix ~/.local.
    [ "$libdir" = lib ] || { echo "skipped: the build installs into $libdir, not lib"; exit 77; }
    mkdir home
    "$cmake" --install "$build" --prefix "$work/home/.local" >/dev/null || fail "cmake --install"
    [ -f home/.local/lib/avisynth/$(basename "$c_module") ] || fail "no $(basename "$c_module") in lib/avisynth"
    [ ! -e home/.local/lib/avisynth/$(basename "$plugin") ] || fail "the 2.5 module is in the autoload folder"
    [ -f home/.local/lib/quillfen/$(basename "$plugin") ] || fail "no $(basename "$plugin") in lib/quillfen"
    clip="$source_422.ConvertToYUV420().ConvertBits(10)"
    run_c in.y4m "$clip" || fail "the 10-bit clip: $(cat message.txt)"
    HOME="$work/home" run_c host.y4m "$no_autoload
AddAutoloadDir(\"$work/home/.local/lib/avisynth\")
$clip.Quillfen()" || fail "not autoloaded: $(cat message.txt)"
    run_command in.y4m command.y4m ""
    cmp -s host.y4m command.y4m || fail "the autoloaded module's frames differ from the command's"
    ;;
  *)
    fail "unknown case $case_name"
    ;;
esac
echo "passed: $case_name"
