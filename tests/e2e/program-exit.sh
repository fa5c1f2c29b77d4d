# Sourced by the end-to-end libraries: the wait for the program under test
# (APP_PID, its exit code written to APP_RC_FILE by the starter) to end.

# Waits up to `seconds` for the program to end; prints its exit code, or
# "running".
program_wait_exit() {
  local seconds="$1" i
  for ((i = 0; i < seconds * 10; i++)); do
    if ! kill -0 "$APP_PID" 2>/dev/null; then
      wait "$APP_PID" 2>/dev/null
      cat "$APP_RC_FILE"
      return 0
    fi
    sleep 0.1
  done
  echo running
}
