# Sourced by the quick-start scripts: makes sure the Debian packages the build,
# the tests and the main job need are installed.  As root it installs what is
# missing; otherwise it prints the exact install line and stops.
SPARDYN_PACKAGES=(
  g++ make cmake                      # compiler and build
  octave liboctave-dev                # the host and its MEX header
  libtbb-dev libopenblas-dev          # worker threads, BLAS (the one Octave uses)
  libgtest-dev                        # unit tests
  gnuplot-nox fonts-freefont-otf      # headless PNG plots of the main job
)

spardyn_missing_packages() {
  local p
  for p in "${SPARDYN_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

spardyn_ensure_packages() {
  local missing
  missing=$(spardyn_missing_packages | tr '\n' ' ')
  missing=${missing% }
  [ -z "${missing// /}" ] && return 0
  local line="apt-get install -y --no-install-recommends ${missing}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "spardyn needs these Debian packages: ${missing}" >&2
    echo "Install them, then run this command again.  As root:" >&2
    echo "  apt-get update && ${line}" >&2
    echo "or, from an account that may use sudo:" >&2
    echo "  sudo apt-get update && sudo ${line}" >&2
    exit 1
  fi
  echo "Installing: ${missing}"
  export DEBIAN_FRONTEND=noninteractive
  # shellcheck disable=SC2086
  apt-get install -y --no-install-recommends ${missing} \
    || { apt-get update && apt-get install -y --no-install-recommends ${missing}; }
}

spardyn_build() {
  local root=$1
  cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release
  cmake --build "$root/build" -j"$(nproc)"
}
