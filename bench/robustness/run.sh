#!/bin/bash
# Robustness figures: a soak run of start requests against simulated meters,
# the fuzzers' inputs, start-up time and idle memory. Prints one table.
#   bench/robustness/run.sh [BUILD_DIR] [FUZZ_BUILD_DIR]
# BUILD_DIR (default build) is a normal build; FUZZ_BUILD_DIR, when given, is
# a -DVIVIV_FUZZ=ON clang build whose fuzzers are built and run through ctest.
# Environment: REQUESTS (200), PAIRS (10), SEED (1), RSS_SLACK_KB (2048).
set -u
cd "$(dirname "$0")/../.."
BUILD=${1:-build}
FUZZ=${2:-}
REQUESTS=${REQUESTS:-200}
PAIRS=${PAIRS:-10}
SEED=${SEED:-1}
RSS_SLACK_KB=${RSS_SLACK_KB:-2048}
LOGS=$(mktemp -d /tmp/viviv-robustness.XXXXXX)
export QT_QPA_PLATFORM=offscreen

cmake --build "$BUILD" --target viviv-robustness -j2 >"$LOGS/build.log" 2>&1 || { cat "$LOGS/build.log"; exit 2; }
PROBE=$BUILD/bench/robustness/viviv-robustness

rows=()
row() { rows+=("| $1 | $2 | $3 |"); }
verdict() { if [ "$1" = 0 ]; then echo ok; else echo FAILED; fi; }

# --- soak ---
echo "soak: $REQUESTS requests, $PAIRS pairs (log: $LOGS/soak.log)" >&2
"$PROBE" soak --requests "$REQUESTS" --pairs "$PAIRS" --seed "$SEED" >"$LOGS/soak.log" 2>"$LOGS/soak.err"
soak_rc=$?
get() { awk -v k="$1" '$1 == k { print $2 }' "$LOGS/soak.log"; }
ended=$(get ended_with_test_beendet); requests=$(get requests)
rss_growth=$(( $(get rss_kb_after) - $(get rss_kb_middle) ))
fd_growth=$(( $(get fd_after) - $(get fd_before) ))
row "soak: requests ended with \"Test beendet!\"" "$ended of $requests ($(get choices_offered) meters/profiles, $(get pairs) pairs, $(get wall_s) s, mean $(get mean_request_s) s, longest $(get longest_request_s) s, exit $soak_rc)" \
    "$(verdict $(( soak_rc != 0 || ended != REQUESTS )))"
played=$(awk '$1 == "choice" { if ($2 ~ /^real:/) { r += $3; n++ } else printf "%s %d, ", $2, $3 } END { printf "real meters %d (%d distinct)", r, n }' "$LOGS/soak.log")
row "soak: meters played" "$played" "-"
row "soak: runs read successfully" "$(get succeeded) of $requests" "-"
row "soak: RSS before / after half / after (kB)" "$(get rss_kb_before) / $(get rss_kb_middle) / $(get rss_kb_after) (second half $rss_growth; start $(get rss_kb_start))" \
    "$(verdict $(( rss_growth > RSS_SLACK_KB )))"
row "soak: open descriptors before / after half / after" "$(get fd_before) / $(get fd_middle) / $(get fd_after) (start $(get fd_start))" "$(verdict $(( fd_growth > 0 )))"

# --- fuzzers ---
if [ -n "$FUZZ" ]; then
    echo "fuzz: building and running $FUZZ (log: $LOGS/fuzz.log)" >&2
    { cmake --build "$FUZZ" -j2 && ctest --test-dir "$FUZZ" -V -j2; } >"$LOGS/fuzz.log" 2>&1
    fuzz_rc=$?
    inputs=$(grep -oE 'Done [0-9]+ runs' "$LOGS/fuzz.log" | awk '{ s += $2 } END { print s + 0 }')
    harnesses=$(grep -cE 'Done [0-9]+ runs' "$LOGS/fuzz.log")
    findings=$(grep -cE 'ERROR: (libFuzzer|AddressSanitizer|UndefinedBehaviorSanitizer)|runtime error:' "$LOGS/fuzz.log")
    row "fuzzers: inputs run" "$inputs in $harnesses harnesses, $findings findings" "$(verdict $(( fuzz_rc != 0 || findings > 0 )))"
fi

# --- start-up ---
times=()
for i in 1 2 3 4 5; do
    launched=$(date +%s%N)
    out=$("$PROBE" startup --idle 3000 2>/dev/null)
    shown=$(awk '$1 == "shown_realtime_ns" { print $2 }' <<<"$out")
    idle=$(awk '$1 == "idle_rss_kb" { print $2 }' <<<"$out")
    times+=($(( (shown - launched) / 1000000 )))
done
median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n 3p)
row "start-up: launch to window shown (ms, offscreen)" "median $median of ${times[*]}" "-"
row "idle RSS after 3 s (kB)" "$idle" "-"

echo "| figure | value | verdict |"
echo "|---|---|---|"
printf '%s\n' "${rows[@]}"
echo "logs: $LOGS" >&2
grep -q FAILED <<<"${rows[*]}" && exit 1
exit 0
