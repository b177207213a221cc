# Sourced by the quick-start scripts: makes sure the Debian packages the build,
# the tests and the main job need are installed.  As root it installs what is
# missing; otherwise it prints the exact install line and stops.
#
# Run as a script, `bash tools/deps.sh build` only checks the packages the
# module needs to build and prints the same install line when some are
# missing (exit status 1).  The Octave package runs it before it builds, so
# `pkg install` and the quick start name missing packages the same way.

# What building the module needs: also the build requirements written into
# the Octave package's DESCRIPTION.
SPARDYN_BUILD_PACKAGES=(
  g++ make cmake                      # compiler and build
  octave liboctave-dev                # the host and its MEX header
  libtbb-dev libopenblas-dev          # worker threads, BLAS (the one Octave uses)
)
SPARDYN_PACKAGES=(
  "${SPARDYN_BUILD_PACKAGES[@]}"
  libgtest-dev                        # unit tests
  gnuplot-nox fonts-freefont-otf      # headless PNG plots of the main job
)

# The packages among the arguments (default: all of the above) that are not
# installed, on one line, separated by blanks.
spardyn_missing_packages() {
  local p missing=()
  [ $# -gt 0 ] || set -- "${SPARDYN_PACKAGES[@]}"
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  echo "${missing[*]}"
}

# The command that installs the packages given as one string.
spardyn_install_line() {
  echo "apt-get install -y --no-install-recommends $1"
}

# Tells a user who is not root what to install, on stderr: as root, or
# through sudo.
spardyn_report_missing() {
  local line
  line=$(spardyn_install_line "$1")
  echo "spardyn needs these Debian packages: $1" >&2
  echo "Install them, then run this command again.  As root:" >&2
  echo "  apt-get update && ${line}" >&2
  echo "or, from an account that may use sudo:" >&2
  echo "  sudo apt-get update && sudo ${line}" >&2
}

spardyn_ensure_packages() {
  local missing
  missing=$(spardyn_missing_packages)
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    spardyn_report_missing "$missing"
    exit 1
  fi
  echo "Installing: ${missing}"
  export DEBIAN_FRONTEND=noninteractive
  local line
  line=$(spardyn_install_line "$missing")
  # shellcheck disable=SC2086
  ${line} || { apt-get update && ${line}; }
}

spardyn_build() {
  local root=$1
  cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release
  cmake --build "$root/build" -j"$(nproc)"
}

# Build-only check for the package: never installs anything, whoever runs it.
# Without dpkg (not Debian) there is nothing to ask: the build itself will
# tell what is missing.
spardyn_check_build_packages() {
  command -v dpkg-query > /dev/null || return 0
  local missing
  missing=$(spardyn_missing_packages "${SPARDYN_BUILD_PACKAGES[@]}")
  [ -z "$missing" ] && return 0
  spardyn_report_missing "$missing"
  return 1
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  case "${1:-}" in
    build) spardyn_check_build_packages ;;
    *) echo "usage: bash tools/deps.sh build" >&2; exit 2 ;;
  esac
fi
