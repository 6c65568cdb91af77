#!/usr/bin/env bash
# Builds the Debian package from a build folder (scripts/package.sh), installs it and checks
# the installed Orvenna as a user would meet it: --version, a 2-second recording on the
# current X display (probed with ffprobe), the manual pages through man, the shell completion,
# and the desktop entry, icon and AppStream metadata through their validators.
#   scripts/check-package.sh [BUILD_DIR]
# It unpacks the package into a scratch folder (dpkg -x) and, as root, asks apt-get whether it
# would install; with ORVENNA_PACKAGE_INSTALL=system (CI's throwaway machine) it installs the
# package into the system with apt-get and runs the programs installed there.
set -euo pipefail
cd "$(dirname "$0")/.."

deb=$(scripts/package.sh "${1:-build-package}" | tail -1)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-package: $*" >&2; exit 1; }

echo "== package $deb =="
dpkg-deb --field "$deb" Package Version Depends
depends=$(dpkg-deb --field "$deb" Depends)
for library in libqt6widgets6 qt6-wayland libavcodec libx11 libpulse libjpeg; do
  [[ $depends == *"$library"* ]] || fail "Depends does not name $library: $depends"
done

# The files are checked in a scratch copy of the package (a system's dpkg may be told to leave
# out manual pages); the programs run from where the package was installed.
root=$work/root
dpkg -x "$deb" "$root"
bin=$root/usr/bin
share=$root/usr/share
if [[ ${ORVENNA_PACKAGE_INSTALL:-} == system ]]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "./$deb" >/dev/null
  bin=/usr/bin
elif [[ $(id -u) -eq 0 ]]; then
  apt-get install --simulate -q "./$deb" >"$work/simulate.txt" ||
    { cat "$work/simulate.txt"; fail "apt-get cannot install $deb"; }
fi

echo "== installed files =="
for file in bin/orvenna bin/orvenna-cli share/applications/example.orvenna.Orvenna.desktop \
  share/metainfo/example.orvenna.Orvenna.metainfo.xml share/man/man1/orvenna.1.gz \
  share/man/man1/orvenna-cli.1.gz share/bash-completion/completions/orvenna-cli \
  share/icons/hicolor/scalable/apps/orvenna.svg; do
  [[ -f $root/usr/$file ]] || fail "/usr/$file is not installed"
done
for size in 16 22 24 32 48 64 128 256; do
  png=$share/icons/hicolor/${size}x${size}/apps/orvenna.png
  [[ $(identify -format %wx%h "$png") == "${size}x$size" ]] || fail "$png is not $size px"
done

echo "== validators =="
desktop-file-validate "$share/applications/example.orvenna.Orvenna.desktop"
appstreamcli validate --no-net "$share/metainfo/example.orvenna.Orvenna.metainfo.xml"

echo "== programs =="
# Away from the source tree and without a display, --version prints the project's version.
version=$(sed -n 's/^project(Orvenna VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
for program in orvenna orvenna-cli; do
  got=$(cd / && env -u DISPLAY -u WAYLAND_DISPLAY "$bin/$program" --version)
  [[ $got == "$program $version" ]] || fail "$program --version printed '$got'"
done
(cd "$work" && "$bin/orvenna-cli" --seconds 2 --compressor ZMBV --region 0,0,320,240 out.avi)
frames=$(ffprobe -v error -count_packets -select_streams v:0 \
  -show_entries stream=codec_name,width,height,nb_read_packets -of csv=p=0 "$work/out.avi")
[[ $frames =~ ^zmbv,320,240,([0-9]+)$ && ${BASH_REMATCH[1]} -ge 1 ]] ||
  fail "the installed orvenna-cli's recording probes as '$frames'"
echo "recorded: $frames"

echo "== manual pages and completion =="
for page in orvenna orvenna-cli; do
  text=$(MANPATH=$share/man MANWIDTH=80 man "$page" 2>/dev/null | col -b)
  [[ $text == *"--version"* ]] || fail "man $page does not show --version"
done
man_options=$(MANPATH=$share/man MANWIDTH=200 man orvenna-cli 2>/dev/null | col -b)
for option in $("$bin/orvenna-cli" --help | grep -o -- '--[a-z-]*' | sort -u); do
  [[ $man_options == *"$option"* ]] || fail "man orvenna-cli does not describe $option"
done
completion=$share/bash-completion/completions/orvenna-cli
words=$(bash -c 'source "$1"; COMP_WORDS=(orvenna-cli --comp); COMP_CWORD=1; _orvenna_cli
  echo "${COMPREPLY[*]}"; COMP_WORDS=(orvenna-cli --compressor Z); COMP_CWORD=2; _orvenna_cli
  echo "${COMPREPLY[*]}"' _ "$completion")
[[ $words == $'--compressor\nZMBV' ]] || fail "the completion offered '$words'"
echo "check-package: all checks passed"
