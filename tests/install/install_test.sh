#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks what the desktop, the terminal user and
# the packager need from it; then builds the Debian package from the same build and reads it
# back.
#
#   install_test.sh BUILD_DIR VERSION GUI
#
# GUI is 1 when the build has the window (then the desktop files and icons are expected too).
#
# Installing the .deb with apt-get changes the machine, so that part runs only as root and
# only when CI=true or TRAWLER_TEST_INSTALL_DEB=1. It installs ./trawler_*.deb, runs
# /usr/bin/trawler-cli --version, and purges the package again afterwards. If a package
# named trawler is installed already, it is left alone and that part is skipped, loudly.
set -euo pipefail

build=$1
version=$2
gui=$3
app_id=io.github.trawler.Trawler
icon_sizes=(16 32 48 64 128 256)

work=$(mktemp -d)
purge_after=0
cleanup() {
  if [ "$purge_after" = 1 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq trawler >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
bad() {
  printf 'FAIL: %s\n' "$*" >&2
  failures=$((failures + 1))
}
section() { printf '== %s\n' "$*"; }

# Prints the width and height of a PNG file, or nothing when it is not a PNG.
png_size() {
  local signature
  signature=$(od -An -tx1 -N8 "$1" | tr -d ' \n')
  [ "$signature" = 89504e470d0a1a0a ] || return 0
  # IHDR follows the signature: length, type, then width and height as 32-bit big-endian.
  local b
  read -r -a b < <(od -An -tu1 -j16 -N8 "$1")
  echo "$(((b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3]))x$(((b[4] << 24) | (b[5] << 16) | (b[6] << 8) | b[7]))"
}

# Checks a trawler-cli binary: --help and --version answer as documented.
check_cli() {
  local cli=$1 out
  if ! out=$("$cli" --help 2>&1); then
    bad "$cli --help failed: $out"
  elif [[ $out != "usage: trawler-cli "* ]]; then
    bad "$cli --help printed no usage: $out"
  fi
  if ! out=$("$cli" --version 2>&1); then
    bad "$cli --version failed: $out"
  elif [ "$out" != "trawler-cli $version" ]; then
    bad "$cli --version printed '$out', not 'trawler-cli $version'"
  fi
}

section "cmake --install into a temporary prefix"
prefix=$work/prefix
if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log" >&2
  bad "cmake --install failed"
  exit 1
fi

programs=(bin/trawler-cli)
files=(share/man/man1/trawler-cli.1)
if [ "$gui" = 1 ]; then
  programs+=(bin/trawler)
  files+=(
    share/trawler/usage.html
    "share/applications/$app_id.desktop"
    "share/metainfo/$app_id.metainfo.xml"
    share/icons/hicolor/scalable/apps/trawler.svg
  )
  for size in "${icon_sizes[@]}"; do
    files+=("share/icons/hicolor/${size}x$size/apps/trawler.png")
  done
fi
for f in "${programs[@]}"; do
  [ -f "$prefix/$f" ] && [ -x "$prefix/$f" ] || bad "no program $f in the prefix"
  # A run path into the build tree would load libraries from there, or fail elsewhere.
  if [ -f "$prefix/$f" ] && readelf -d "$prefix/$f" | grep -E 'R(UN)?PATH' | grep -qF "$build"; then
    bad "$f keeps a run path into the build tree"
  fi
done
for f in "${files[@]}"; do
  [ -f "$prefix/$f" ] || bad "no file $f in the prefix"
done

section "the installed trawler-cli"
check_cli "$prefix/bin/trawler-cli"

section "manual page"
man_page=$prefix/share/man/man1/trawler-cli.1
if [ -f "$man_page" ]; then
  if ! warnings=$(groff -man -Tutf8 -ww -z "$man_page" 2>&1) || [ -n "$warnings" ]; then
    bad "groff finds faults in the manual page: $warnings"
  fi
  grep -q "^\.TH TRAWLER-CLI 1 .*\"trawler $version\"" "$man_page" ||
    bad "the manual page's title line does not carry version $version"
  # Every option that --help names is described in the manual page.
  roff_text=$(sed 's/\\-/-/g' "$man_page")
  for option in $("$prefix/bin/trawler-cli" --help | grep -oE -- '(^|[ [|])--?[a-z][a-z-]*' | tr -d ' [|' | sort -u); do
    grep -qF -- "$option" <<<"$roff_text" || bad "the manual page does not describe $option"
  done
fi

if [ "$gui" = 1 ]; then
  section "desktop entry, metainfo, icons, usage page"
  desktop=$prefix/share/applications/$app_id.desktop
  metainfo=$prefix/share/metainfo/$app_id.metainfo.xml
  if [ -f "$desktop" ]; then
    # Errors fail desktop-file-validate; warnings only print, and count here too.
    if ! out=$(desktop-file-validate "$desktop" 2>&1) || grep -qiE 'error|warning' <<<"$out"; then
      bad "desktop-file-validate: $out"
    fi
    exec_line=$(sed -n 's/^Exec=//p' "$desktop")
    [ -x "$prefix/bin/${exec_line%% *}" ] || bad "Exec=$exec_line names no installed program"
    icon=$(sed -n 's/^Icon=//p' "$desktop")
    [ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] ||
      bad "Icon=$icon names no installed icon"
    grep -qx 'Categories=Network;FileTransfer;' "$desktop" || bad "categories differ"
    grep -qx 'Terminal=false' "$desktop" || bad "the entry would open a terminal"
  fi
  if [ -f "$metainfo" ]; then
    if ! out=$(appstreamcli validate --no-net --strict "$metainfo" 2>&1); then
      bad "appstreamcli validate: $out"
    fi
    launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")
    [ -f "$prefix/share/applications/$launchable" ] ||
      bad "the metainfo launches '$launchable', which is not installed"
  fi
  for size in "${icon_sizes[@]}"; do
    png=$prefix/share/icons/hicolor/${size}x$size/apps/trawler.png
    [ -f "$png" ] || continue
    got=$(png_size "$png")
    [ "$got" = "${size}x$size" ] || bad "$png is '${got:-not a PNG}', not ${size}x$size"
  done
  usage=$prefix/share/trawler/usage.html
  if [ -f "$usage" ]; then
    grep -qF "$version" "$usage" || bad "the usage page does not show version $version"
  fi
fi

section "the Debian package"
if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  bad "cpack failed"
  exit 1
fi
arch=$(dpkg --print-architecture)
deb=$work/deb/trawler_${version}_$arch.deb
if [ ! -f "$deb" ]; then
  bad "cpack made no $(basename "$deb"): $(ls "$work/deb")"
  exit 1
fi
dpkg-deb --field "$deb"
[ "$(dpkg-deb --field "$deb" Package)" = trawler ] || bad "the package is not named trawler"
[ "$(dpkg-deb --field "$deb" Version)" = "$version" ] || bad "the package version is not $version"

# Package names of a relation field, without versions; alternatives count each.
relation_names() { dpkg-deb --field "$deb" "$1" | tr ',|' '\n\n' | sed 's/(.*//; s/[[:space:]]//g' | grep -v '^$' || true; }
depends=$(relation_names Depends)
recommends=$(relation_names Recommends)

# The package holds exactly what cmake --install installs, under /usr.
dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's:^\./::' | sort >"$work/deb.list"
(cd "$prefix" && find . -type f -o -type l) | sed 's:^\./:usr/:' | sort >"$work/prefix.list"
diff -u "$work/prefix.list" "$work/deb.list" >&2 || bad "the package and the installed prefix differ"

root=$work/root
dpkg-deb -x "$deb" "$root"
check_cli "$root/usr/bin/trawler-cli"

# Every library a packaged program is linked against comes from a package named in Depends,
# so that installing the .deb on a fresh machine brings it along.
for f in "${programs[@]}"; do
  binary=$root/usr/$f
  [ -f "$binary" ] || continue
  for soname in $(readelf -d "$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    # ldd shows "soname => path", or just the path for the dynamic loader.
    path=$(ldd "$binary" | awk -v s="$soname" '
      $1 == s && $2 == "=>" { print $3 }
      substr($1, length($1) - length(s)) == "/" s { print $1 }')
    if [ -z "$path" ]; then
      bad "$f: $soname is not found on this machine"
      continue
    fi
    # Under the merged /usr a library has two names; the package database knows one.
    real=$(realpath "$path")
    owner=""
    for candidate in "$path" "$real" "${real#/usr}" "/usr$path"; do
      owner=$(dpkg-query -S "$candidate" 2>/dev/null | head -1 | cut -d: -f1) && [ -n "$owner" ] && break
    done
    if [ -z "$owner" ]; then
      bad "$f: no Debian package holds $soname ($path)"
    elif ! grep -qx "$owner" <<<"$depends"; then
      bad "$f needs $soname from $owner, which Depends does not name"
    fi
  done
done
if [ "$gui" = 1 ]; then
  # Loaded at run time, not linked: without it the window cannot open on X11.
  grep -qx qt6-qpa-plugins <<<"$depends" || bad "Depends does not name qt6-qpa-plugins"
  grep -qx fonts-wqy-microhei <<<"$recommends" || bad "Recommends does not name a CJK font"
fi

if [ "$(id -u)" = 0 ] && { [ "${CI:-}" = true ] || [ "${TRAWLER_TEST_INSTALL_DEB:-}" = 1 ]; }; then
  section "apt-get install ./$(basename "$deb") on this machine"
  if dpkg-query -W -f='${Status}' trawler 2>/dev/null | grep -q 'ok installed'; then
    echo "SKIPPED: a package named trawler is installed here already; not replacing it" >&2
  else
    purge_after=1
    if ! DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1; then
      cat "$work/apt.log" >&2
      bad "apt-get install of the package failed"
    else
      check_cli /usr/bin/trawler-cli
    fi
  fi
else
  echo "not installing the .deb on this machine (as root, CI=true or TRAWLER_TEST_INSTALL_DEB=1 asks for it)"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all install checks passed"
