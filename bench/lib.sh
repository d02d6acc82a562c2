# Timing helpers shared by the bench scripts; source it.

now() { echo "${EPOCHREALTIME/,/.}"; }

# best_of OUTPUT COMMAND...: runs COMMAND $runs times, each time after
# removing OUTPUT (unless it is "-") and flushing dirty pages, and prints the
# best wall time in seconds.
best_of() {
  local output="$1"
  shift
  local best="" t0 t1 t
  for ((k = 0; k < runs; ++k)); do
    [ "$output" = - ] || rm -f "$output"
    sync
    t0=$(now)
    "$@"
    t1=$(now)
    t=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }')
    if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best="$t"; fi
  done
  echo "$best"
}
