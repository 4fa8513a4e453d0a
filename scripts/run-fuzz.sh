#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ in their own sanitized clang build and runs each
# for a while on a corpus kept under the build folder; exits non-zero when one crashes.
# Usage: scripts/run-fuzz.sh [seconds per target, default 30] [build folder, default build-fuzz]
set -euo pipefail

seconds="${1:-30}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${2:-$root/build-fuzz}"
case "$seconds" in
  '' | *[!0-9]*) echo "usage: $0 [seconds] [build-folder]" >&2; exit 2 ;;
esac

targets=()
for source in "$root"/fuzz/*Fuzz.cpp; do
  [ -e "$source" ] && targets+=("$(basename "$source" .cpp)")
done
if [ "${#targets[@]}" -eq 0 ]; then
  echo "no fuzz targets in $root/fuzz"
  exit 0
fi

CXX=clang++ cmake -S "$root" -B "$build" -DTARNHOLLOW_FUZZ=ON -DTARNHOLLOW_SANITIZE=ON \
  -DTARNHOLLOW_TESTS=OFF >/dev/null
cmake --build "$build" --target "${targets[@]}" -j2

# A few inputs in each target's own format, so that a short run starts from
# meaningful cases instead of rediscovering the syntax.
seed() {
  local corpus="$1" name="$2" flags="$3" first="$4" second="$5"
  { printf "\\$flags"; printf '%s' "$first"; printf '\000'; printf '%s' "$second"; } >"$corpus/$name"
}
seed_corpus() {
  local target="$1" corpus="$2"
  case "$target" in
    PatternFuzz)
      # One flag byte (1: ignore case), the pattern, a zero byte, the text.
      seed "$corpus" gga 000 \
        '\$GPGGA,{[^,]*?},{[^,]*?},{[^,]*?},{[^,]*?},{[^,]*?},{[^,]*?},[^,]*?,{[^,]*?},[^\*]+?\*{\h\h}' \
        $'$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n'
      seed "$corpus" coordinate 000 '{\-?\d?\d\d}{\d\d\.\d+}' '-4807.038'
      seed "$corpus" time 001 '{\d\d}{\d\d}{\d\d}.*' '123519.00'
      seed "$corpus" mixed 000 '^(a|b)*?{c+}!d\0$' 'ababccc'
      seed "$corpus" abbreviations 001 '{\w}\n\q|\z[^a-f\]]??' $'Hello\r\n"x" 42'
      seed "$corpus" references 000 '({a}|b)+\0?!(x)y*' 'abay'
      ;;
    NmeaFuzz)
      # Reads separated by 0xFF bytes: a fix split across two reads, a rejected
      # sentence, another sentence and a gpsd line.
      printf '$GPGGA,123519,4807.038,N,01131.0\377''00,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n' >"$corpus/split"
      printf '$GPGGA,123519,0030.000,S,00030.000,W,4,08,50.1,545.4,M,46.9,M,,*4a\n\r$GPRMC,1*00\r\n' >"$corpus/rejected"
      printf '{"class":"VERSION","release":"3.22"}\r\n$GPGGA,1,2,3,4,5,6,7,8*00\r\n' >"$corpus/gpsd"
      ;;
    FixFileFuzz)
      # One byte for the fixes kept, then UTF-16 little-endian lines.
      { printf '\024'; printf '12:35:19 UTC,11.51666667,48.1173,\n\n,,\r\n<a>,b,c,d,\n' | iconv -f UTF-8 -t UTF-16LE; } \
        >"$corpus/lines"
      printf '\002\075\330\015\337,\000\000\330\n\000' >"$corpus/surrogates"
      ;;
    GpsTemplateFuzz)
      printf '/dev/ttyACM%%d' >"$corpus/port"
      printf '[::1]:2947' >"$corpus/gpsd"
      printf 'http://nearme.example.net/nearme/update.php?server=%%s&time=%%d&lon=%%f&lat=%%f&port=%%d%%%%%%q' >"$corpus/nearme"
      ;;
    RequestFuzz)
      # One byte choosing the segment size, then the bytes a peer sends.
      printf '\005GET /a.txt HTTP/1.0\r\nIf-Modified-Since: Sun, 06 Nov 1994 08:49:37 GMT\r\n\r\n' >"$corpus/get"
      printf '\003POST /folder HTTP/1.0\r\nContent-Length: 4\r\n\r\nabcd' >"$corpus/post"
      printf '\040HEAD /b.bin?x=%%41&y HTTP/1.0\nHost: a\n\n' >"$corpus/head"
      ;;
    PictureFuzz)
      # A photo of the demo site (cut to the run's longest input) and the stand-in screen.
      cp "$root/resources/demo/demo/PhotoAlbum/branch.jpg" "$corpus/branch.jpg"
      cp "$root/resources/demo/ScreenShot/screenshot.png" "$corpus/screenshot.png"
      ;;
    RangeFuzz)
      # Eight bytes of file size (1000, little-endian), then the header.
      printf '\350\003\000\000\000\000\000\000bytes=0-99' >"$corpus/first-last"
      printf '\350\003\000\000\000\000\000\000bytes=-500' >"$corpus/suffix"
      printf '\350\003\000\000\000\000\000\000BYTES = 10- , 20-30' >"$corpus/several"
      ;;
    BasicCredentialsFuzz)
      printf 'Basic ZGVtbzpkZW1v' >"$corpus/demo"
      printf 'basic  YTpiOmM' >"$corpus/unpadded"
      ;;
    PassFileFuzz)
      printf '# users\ndemo:$2y$05$OPvOjup27rJJMMfCtYl3Oe8jHIT0ATA.Qi6W6vRuqfzS35OE/j442\r\nbad line\n' >"$corpus/bcrypt"
      printf 's:$6$tfdpSMnqAQpCOPMB$9zIA6Yu4NCkBTn8meriybnZOiVY.X3x9QMudKMDcFssqfUkZfA1W1Km.YBhZbtRI2jbye7o96.knyX0tccr0D1\n' >"$corpus/sha512"
      ;;
    RelayDatagramFuzz)
      # Datagrams, each a two-byte little-endian length and its bytes: a request of two
      # fragments (the second first), then a registration acknowledgement.
      { printf '\024\000\001\000\000\000\377\377\377\377\000\000\000\000\002\000\006\000GET '
        printf '\022\000\001\000\000\000\377\377\377\377\000\000\000\000\000\000\006\000xx'
        printf '\020\000\014\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000'; } >"$corpus/request"
      ;;
    DirectoryFuzz)
      # Records: operation byte (0 datagram, 1 request relayed, 2 drop, 3 drained; the
      # upper bits pick the source), two-byte little-endian length, bytes. A registration,
      # a request relayed, the device's opening acknowledgement, an answer and its close.
      { printf '\000\041\000\010\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000dev.example.net\000\000'
        printf '\001\022\000GET / HTTP/1.0\r\n\r\n'
        printf '\000\020\000\005\000\000\000\007\000\000\000\000\000\000\000\000\000\000\000'
        printf '\000\022\000\000\000\000\000\007\000\000\000\001\000\000\000\000\000\002\000OK'
        printf '\000\020\000\002\000\000\000\007\000\000\000\002\000\000\000\000\000\000\000'
        printf '\001\057\000time=3600&max=20&prec=1&lon=11.5&lat=48.1&x=%%41'; } >"$corpus/exchange"
      ;;
  esac
}

failed=()
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  artifacts="$build/artifacts/$target"
  mkdir -p "$corpus" "$artifacts"
  if [ -z "$(ls -A "$corpus")" ]; then
    seed_corpus "$target" "$corpus"
  fi
  log="$build/$target.log"
  echo "== $target: ${seconds}s, corpus $corpus"
  if "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
      -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1; then
    grep -E '^(Done|stat::number_of_executed_units)' "$log" || true
  else
    echo "!! $target failed; the input is in $artifacts, the output in $log"
    tail -n 40 "$log"
    failed+=("$target")
  fi
done

if [ "${#failed[@]}" -ne 0 ]; then
  echo "fuzz targets that failed: ${failed[*]}" >&2
  exit 1
fi
