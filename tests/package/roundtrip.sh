#!/usr/bin/env bash
# The Octave package's round trip: make it (target "dist"), install it into a
# scratch package prefix, load it in a fresh Octave, check that the module,
# its help and the helpers come from the package and give the build tree's
# results bit for bit, uninstall it; then check that an install with a build
# package missing stops with the quick start's install line.
#   bash tests/package/roundtrip.sh <build dir> <source dir>
set -euo pipefail
build=$(cd "$1" && pwd)
root=$(cd "$2" && pwd)
here=$root/tests/package
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# Octave puts the current folder first on its path: from the build folder,
# the build's module would shadow the package's.
cd "$scratch"

# Octave with no user settings; the host's exit notice is filtered.
octave() {
  octave-cli --no-gui --norc --quiet --eval "$1" \
    2> >(grep -v "ignoring const execution_exception& while preparing to exit" >&2)
}
step() { echo "== $1 ($SECONDS s)"; }

step "package"
cmake --build "$build" --target dist
tarballs=("$build"/spardyn-*.tar.gz)
[ ${#tarballs[@]} -eq 1 ] || { echo "expected one package in $build: ${tarballs[*]}"; exit 1; }
tarball=${tarballs[0]}
echo "$tarball"

step "the build tree's results"
octave "addpath('$build', '$root/m', '$here');
        r = package_smoke(); save('-binary', '$scratch/tree.bin', 'r');"

step "pkg install"
octave "addpath('$here'); package_sandbox('$scratch');
        pkg('install', '-local', '$tarball');
        l = pkg('list'); assert(numel(l) == 1 && strcmp(l{1}.name, 'spardyn'));
        v = sprintf('%.4f', load('$scratch/tree.bin').r.version);   % M.mmpp is M.m.p
        expected = sprintf('%d.%d.%d', str2double(v(1:end - 5)), ...
                           str2double(v(end - 3:end - 2)), str2double(v(end - 1:end)));
        assert(strcmp(l{1}.version, expected), 'package version %s for module %s', l{1}.version, v);"

step "pkg load in a fresh Octave"
octave "addpath('$here'); package_sandbox('$scratch');
        pkg('load', 'spardyn');
        under = @(f) strncmp(f, '$scratch/', numel('$scratch/'));
        mex = which('spardyn');
        assert(under(mex) && exist('spardyn') == 3, 'spardyn is not the package''s module: %s', mex);
        text = get_help_text('spardyn');
        assert(~isempty(text) && strcmp(text, get_help_text('$root/host/spardyn.m')), ...
               'help spardyn: %s', text);
        for f = {'newmark_setup', 'sparse_description', 'chandle'}
          assert(under(which(f{1})), '%s is not the package''s: %s', f{1}, which(f{1}));
        end
        r = package_smoke();
        tree = load('$scratch/tree.bin').r;
        bits = @(x) typecast(x(:), 'uint64');
        for f = fieldnames(tree).'
          assert(isequal(bits(r.(f{1})), bits(tree.(f{1}))), 'the package''s %s differs', f{1});
        end
        disp('package and build tree agree bit for bit');"

step "pkg uninstall"
octave "addpath('$here'); package_sandbox('$scratch');
        pkg('uninstall', '-local', 'spardyn');
        assert(isempty(pkg('list')));"
left=$(find "$scratch/share" "$scratch/arch" -mindepth 1 2>/dev/null)
[ -z "$left" ] || { echo "pkg uninstall left: $left"; exit 1; }

step "pkg install with cmake missing"
# A dpkg-query that says cmake is not installed, and an id that says the
# user is not root (so that the quick start reports instead of installing).
mkdir "$scratch/bin"
cat > "$scratch/bin/dpkg-query" <<'SHIM'
#!/bin/sh
for a in "$@"; do [ "$a" = cmake ] && exit 1; done
exec /usr/bin/dpkg-query "$@"
SHIM
printf '#!/bin/sh\necho 1000\n' > "$scratch/bin/id"
chmod +x "$scratch/bin/dpkg-query" "$scratch/bin/id"
expected='  sudo apt-get update && sudo apt-get install -y --no-install-recommends cmake'
quick_start_says=$(PATH="$scratch/bin:$PATH" bash -c \
  'source "$1"; SPARDYN_PACKAGES=("${SPARDYN_BUILD_PACKAGES[@]}"); spardyn_ensure_packages' \
  deps "$root/tools/deps.sh" 2>&1 || true)
grep -qxF -- "$expected" <<< "$quick_start_says" || { echo "the quick start says: $quick_start_says"; exit 1; }
package_says=$(PATH="$scratch/bin:$PATH" octave "addpath('$here'); package_sandbox('$scratch');
        pkg('install', '-local', '$tarball');" 2>&1 || true)
grep -qxF -- "$expected" <<< "$package_says" || { echo "pkg install says: $package_says"; exit 1; }
octave "addpath('$here'); package_sandbox('$scratch'); assert(isempty(pkg('list')));"

step "done"
