#!/usr/bin/env bash
# Builds the fuzz targets with clang, replays the committed regression inputs, then
# fuzzes each target for a bounded time. Exits non-zero on any crash, sanitizer
# report, leak, timeout (an input over 2 s) or out-of-memory.
#
#   fuzz/run.sh [SECONDS_PER_TARGET]      (default 60; FUZZ_BUILD_DIR overrides
#                                          the build directory, default build-fuzz)
#
# The targets run at once, one per core. Their corpora grow in the build directory
# and are reused by the next run; crashing inputs are written to its artifacts/.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-60}"
build="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
# Largest input per format: the slowest legitimate input of this size (many blocks
# sharing one list of strings that share one long string; make_seeds --worst-*)
# stays well under the 2 s timeout. See fuzz/README.md.
declare -A max_len=([archive]=1792 [pack]=384 [import]=4096)
formats=(archive pack import)

generator=()
if command -v ninja >/dev/null; then generator=(-G Ninja); fi
cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKX_FUZZ=ON -DKX_TESTS=OFF >/dev/null
cmake --build "$build" --target fuzz_archive fuzz_pack fuzz_import make_seeds kx_text -j 2

"$build/make_seeds" "$build/seeds" "$root/examples"

# fuzz_import's inputs are PO files: the examples' exports, untranslated and with
# every entry translated, and the latter after a character table and a zero byte; its
# dictionary holds the PO keywords, the notation and table lines.
mkdir -p "$build/seeds/import"
for example in KESTRA STRINGS.PAK XOR.PAK; do
  "$build/kx_text" export "$root/examples/$example" -o "$build/seeds/import/$example.po" 2>/dev/null
  sed 's/^msgstr ""$/msgstr "Translated {7B}text}\\n"/' "$build/seeds/import/$example.po" \
      >"$build/seeds/import/$example.translated.po"
  table='80=th\nA0=the\nFD=e \n8140=x\n'
  [ "$example" = KESTRA ] && table='0179=\xC3\xA4\n80=th\n81=the\n82=e \n90=\xE3\x83\xBC\n'
  { printf "$table\\0"; cat "$build/seeds/import/$example.translated.po"; } >"$build/seeds/import/$example.table.po"
done
printf '%s\n' '"msgctxt "' '"msgid "' '"msgstr "' '"msgid_plural "' '"msgstr[0] "' '"#, fuzzy\x0a"' \
    '"#~ "' '"#| "' '"\\n"' '"\\\""' '"{7B}"' '"{01 79}"' '"{0A}"' '"{1F}"' '"{82 A0}"' '"{7C}"' '"|"' \
    '"8:0:0"' '"43:1:1"' '"0:0"' '"Content-Type: text/plain; charset="' \
    '"0179=\xC3\xA4\x0a"' '"80=th\x0a"' '"*5C6E\x0a"' '"/7C\x0a"' '"\x00"' >"$build/import.dict"

status=0
pids=()
for format in "${formats[@]}"; do
  target="$build/fuzz_$format"
  corpus="$build/corpus/$format"
  artifacts="$build/artifacts/$format/"
  mkdir -p "$corpus" "$artifacts"
  dict="$root/fuzz/$format.dict"
  [ -e "$dict" ] || dict="$build/$format.dict"
  options=(-timeout=2 -rss_limit_mb=2048 -dict="$dict"
           -artifact_prefix="$artifacts" -print_final_stats=1)

  # Every input that ever failed must still pass, whole (-max_len would cut it).
  regressions=("$root/fuzz/regressions/$format"/*)
  if [ -e "${regressions[0]}" ]; then
    if ! "$target" "${options[@]}" "${regressions[@]}" >"$build/regressions-$format.log" 2>&1; then
      echo "fuzz/run.sh: $format regression inputs fail:" >&2
      tail -n 40 "$build/regressions-$format.log" >&2
      status=1
    fi
  fi

  "$target" "${options[@]}" -max_len="${max_len[$format]}" -max_total_time="$seconds" \
      "$corpus" "$build/seeds/$format" \
      >"$build/fuzz-$format.log" 2>&1 &
  pids+=($!)
done

for k in "${!formats[@]}"; do
  if wait "${pids[$k]}"; then
    echo "fuzz/run.sh: fuzz_${formats[$k]}: no failure in ${seconds} s"
    grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::peak_rss_mb)' \
        "$build/fuzz-${formats[$k]}.log" || true
  else
    echo "fuzz/run.sh: fuzz_${formats[$k]} FAILED; inputs in $build/artifacts/${formats[$k]}/" >&2
    tail -n 60 "$build/fuzz-${formats[$k]}.log" >&2
    status=1
  fi
done
exit $status
