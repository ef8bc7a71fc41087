# Shared by scripts/run, scripts/test and the other scripts: messages, the Debian packages
# the project needs, the build. Source it; do not run it.

set -euo pipefail

TOP=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$TOP"

say() { printf '\033[1m[trawler]\033[0m %s\n' "$*"; }
fail() { printf '\033[1;31m[trawler] FAILED:\033[0m %s\n' "$*" >&2; exit 1; }

# Debian 12 packages: compiler and build tools, the four libraries, the test tools, an X
# server for window tests, a CJK font for the Chinese captions, and clang for fuzzing.
PACKAGES=(
  g++ cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libcurl4-openssl-dev libpcre2-dev libicu-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  python3 openssl curl
  xvfb xauth xclip xdotool fonts-wqy-microhei libqt6svg6
  clang libclang-rt-14-dev
  librsvg2-bin desktop-file-utils appstream dpkg-dev groff-base
)

install_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -eq 0 ]; then
    say "all Debian packages present"
    return 0
  fi
  say "installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq || fail "apt-get update"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null || fail "apt-get install ${missing[*]}"
}

# Configures and builds one preset (default: ci, warnings as errors); further arguments
# name the targets to build (default: all).
build_preset() {
  local preset=${1:-ci}
  shift || true
  local targets=()
  [ $# -gt 0 ] && targets=(--target "$@")
  say "configuring ($preset)"
  cmake --preset "$preset" >/dev/null || fail "cmake configure ($preset)"
  say "building ($preset${*:+: $*})"
  cmake --build --preset "$preset" -j"$(nproc)" "${targets[@]}" || fail "build ($preset)"
}

# Starts an X server of our own on a free display number and sets DISPLAY, so tests never
# draw on a user's desktop. The server ends with the script.
start_x_server() {
  local n
  for n in $(seq 90 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    trap 'kill $XVFB_PID 2>/dev/null || true' EXIT
    export DISPLAY=":$n"
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && return 0
      sleep 0.1
    done
    fail "Xvfb did not start on :$n"
  done
  fail "no free X display number"
}
