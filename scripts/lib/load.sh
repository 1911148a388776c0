# Shared by scripts/test and scripts/soak: every CPU kept busy beside what
# they run, as on a host machine under load, where every wait comes later
# than asked for.
busy_loops=()

# start_busy_loops WHAT: one busy loop per CPU until stop_busy_loops; WHAT
# names what they run beside, for the line that says so.
start_busy_loops() {
  for _ in $(seq "$(nproc)"); do
    (while :; do :; done) &
    busy_loops+=($!)
  done
  echo "$(nproc) busy loops beside $1"
}

stop_busy_loops() {
  if [ ${#busy_loops[@]} -gt 0 ]; then
    kill "${busy_loops[@]}" 2>/dev/null || true
  fi
  busy_loops=()
}
