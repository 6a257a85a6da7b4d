# Sourced by the benchmarks that start the real window: a virtual X server of
# their own when there is no display, stopped with the caller's clean-up.
#   start_xvfb FIRST_DISPLAY_NUMBER   sets DISPLAY and XVFB (the server's pid)
XVFB=""
start_xvfb() {
  [ -z "${DISPLAY:-}" ] || return 0
  local n=$1
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
}
