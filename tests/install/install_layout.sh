#!/usr/bin/env bash
# Installs the build into a throwaway DESTDIR and checks the layout a desktop expects: the
# program folder under lib/lumbrex, the launcher on the PATH, the menu entry and the icon.
# Then builds the .deb and checks its contents and dependencies, and runs lintian on it.
# Usage: install_layout.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

DESTDIR="$scratch/root" cmake --install "$build" --prefix /usr >"$scratch/install.log"
root="$scratch/root/usr"
program="$root/lib/lumbrex"

[ -x "$program/lumbrex" ] || fail "no program at lib/lumbrex/lumbrex"
[ -x "$program/lumbrex-window" ] || fail "no window program at lib/lumbrex/lumbrex-window"
[ -f "$program/HAND-M.CUR" ] || fail "no hand pointer file in the program folder"
[ -f "$program/drag.ico" ] || fail "no drag pointer file in the program folder"
for sample in "$source"/samples/*; do
  name=$(basename "$sample")
  cmp -s "$sample" "$program/Samples/$name" || fail "sample $name missing or changed"
done
[ -e "$program/lumbrex-bench" ] && fail "the benchmark harness is installed"

launcher="$root/bin/lumbrex"
if [ -L "$launcher" ]; then
  target=$(readlink "$launcher")
  case $target in
    /*) fail "launcher points to an absolute path ($target): it breaks under DESTDIR" ;;
  esac
  [ "$(readlink -f "$launcher")" = "$(readlink -f "$program/lumbrex")" ] ||
    fail "launcher resolves to $(readlink -f "$launcher")"
else
  fail "no launcher link at bin/lumbrex"
fi

desktop="$root/share/applications/lumbrex.desktop"
if [ -f "$desktop" ]; then
  grep -qx 'Type=Application' "$desktop" || fail "desktop entry is not an application"
  grep -qx 'Exec=lumbrex %F' "$desktop" || fail "desktop entry does not pass its files to the launcher"
  grep -q '^MimeType=text/plain;' "$desktop" || fail "desktop entry declares no text files"
  grep -qx 'Icon=lumbrex' "$desktop" || fail "desktop entry names another icon"
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "desktop entry does not validate"
  fi
else
  fail "no desktop entry"
fi
cmp -s "$source/assets/icons/lumbrex.svg" "$root/share/icons/hicolor/scalable/apps/lumbrex.svg" ||
  fail "icon missing from share/icons/hicolor/scalable/apps"
completion="$root/share/bash-completion/completions/lumbrex"
if [ -f "$completion" ]; then
  bash -n "$completion" || fail "the bash completion does not parse"
else
  fail "no bash completion at share/bash-completion/completions/lumbrex"
fi

# The installed command needs no display for help, the version and a run with no window.
if [ -z "${LUMBREX_SKIP_RUN:-}" ]; then
  printf 'a\r\nhit\r\n' >"$scratch/one.txt"
  version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$launcher" --version) ||
    fail "the installed command does not print its version"
  [ "$version" = "lumbrex $(sed -n 's/^lumbrex (\(.*\)).*/\1/p;q' "$source/assets/debian/changelog")" ] ||
    fail "the installed command prints '$version' as its version"
  rows=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$launcher" --extract -e hit \
    --display line "$scratch/one.txt") || fail "the installed command does not run an extraction"
  [ "$rows" = hit ] || fail "the installed command printed '$rows' for one row"
fi

# The installed program finds its program folder through the launcher link.
if [ -z "${LUMBREX_SKIP_RUN:-}" ]; then
  QT_QPA_PLATFORM=offscreen timeout 20 "$launcher" -platform offscreen >/dev/null 2>&1 &
  pid=$!
  sleep 1
  kill -0 "$pid" 2>/dev/null || fail "the installed program does not start"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
fi

if command -v dpkg-deb >/dev/null; then
  (cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/deb" \
    >"$scratch/cpack.log") || { cat "$scratch/cpack.log" >&2; fail "cpack -G DEB failed"; }
  deb=$(ls "$scratch"/deb/lumbrex_*.deb 2>/dev/null | head -n1)
  if [ -n "$deb" ]; then
    [ "$(dpkg-deb -f "$deb" Package)" = lumbrex ] || fail "package is not named lumbrex"
    depends=$(dpkg-deb -f "$deb" Depends)
    for needed in libqt6widgets6 libqt6dbus6 libqt6gui6 libqt6core6 qt6-qpa-plugins libxlsxwriter4 libpcre2-16-0 libarchive13; do
      case $depends in *"$needed"*) ;; *) fail "package does not depend on $needed" ;; esac
    done
    [ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "package has no maintainer"
    contents=$(dpkg-deb -c "$deb")
    for path in ./usr/lib/lumbrex/lumbrex ./usr/lib/lumbrex/Samples/ ./usr/bin/lumbrex \
      ./usr/share/applications/lumbrex.desktop \
      ./usr/share/icons/hicolor/scalable/apps/lumbrex.svg ./usr/share/man/man1/lumbrex.1.gz \
      ./usr/lib/lumbrex/lumbrex-window ./usr/share/bash-completion/completions/lumbrex \
      ./usr/share/doc/lumbrex/copyright ./usr/share/doc/lumbrex/changelog.gz; do
      grep -q " $path" <<<"$contents" || fail "package lacks $path"
    done
    # The changelog's latest entry is this version.
    version=$(dpkg-deb -f "$deb" Version)
    latest=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/lumbrex/changelog.gz |
      gunzip | sed -n 1p) || true
    [[ $latest == "lumbrex ($version) "* ]] || fail "the changelog starts with '$latest', not $version"
    # Debian's own checks: any error fails; warnings are shown.
    if command -v lintian >/dev/null; then
      status=0
      lintian --fail-on error --tag-display-limit 0 "$deb" >"$scratch/lintian.log" 2>&1 || status=$?
      grep -E '^[EW]: ' "$scratch/lintian.log" >&2 || true
      if grep -q '^E: ' "$scratch/lintian.log"; then
        fail "lintian reports errors"
      elif ((status)); then
        cat "$scratch/lintian.log" >&2
        fail "lintian did not run (status $status)"
      fi
    else
      fail "lintian is not installed (scripts/setup.sh installs it)"
    fi
  else
    fail "cpack made no lumbrex_*.deb"
  fi
fi

if ((failures)); then
  echo "$failures install check(s) failed" >&2
  exit 1
fi
echo "install layout and package are complete"
