#!/usr/bin/env bash
# Installs the Debian package on this machine with apt-get (which brings its dependencies),
# starts both installed programs without a display (each then runs its tour on the virtual
# measuring boxes) with HOME in a scratch folder, checks that they measured and that their files
# went to the scratch ~/.config and nowhere near the programs, and removes the package again.
# Usage: scripts/install-check.sh <package.deb>
set -euo pipefail

deb=$(realpath "${1:?usage: install-check.sh <package.deb>}")
package=$(dpkg-deb -f "$deb" Package)
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive

if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
  echo "install-check: $package is installed already; remove it first" >&2
  exit 1
fi

scratch=$(mktemp -d)
cleanup() {
  $SUDO apt-get remove -y -qq "$package" >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap cleanup EXIT

fail() {
  echo "install-check: FAILED: $*" >&2
  exit 1
}

echo "install-check: installing $(basename "$deb")"
$SUDO apt-get install -y -qq "$deb" >"$scratch/apt.log" 2>&1 || { cat "$scratch/apt.log"; fail "apt-get install"; }
bindir=$(dirname "$(dpkg -L "$package" | grep -m1 '/bin/Dravik$')")
for file in "$bindir/Dravik" "$bindir/Sorvane"; do
  [ -x "$file" ] || fail "$file is not installed"
done
# Each program's desktop entry, metainfo, scalable and 48-pixel icon, and manual page.
for program in dravik sorvane; do
  for pattern in "/applications/.*\.$program\.desktop$" "/metainfo/.*\.$program\.metainfo\.xml$" \
                 "/scalable/apps/.*\.$program\.svg$" "/48x48/apps/.*\.$program\.png$" \
                 "/man1/${program^}\.1\.gz$"; do
    file=$(dpkg -L "$package" | grep -m1 -E "$pattern") && [ -s "$file" ] ||
      fail "no file matching $pattern is installed"
  done
done

# Runs an installed program as a user with no display would: a clean environment, HOME in the
# scratch folder, started from a folder of its own. Prints its output into <name>.log.
run() {
  local name=$1
  mkdir -p "$scratch/home" "$scratch/cwd-$name"
  local start=$SECONDS
  (cd "$scratch/cwd-$name" &&
     env -i PATH=/usr/bin:/bin HOME="$scratch/home" LANG=C.UTF-8 \
       timeout 600 "$bindir/$name" >"$scratch/$name.log" 2>&1) ||
    { tail -n 30 "$scratch/$name.log"; fail "$name ended with an error"; }
  echo "install-check: $name ran its tour in $((SECONDS - start)) s"
}

# The last line of a program's log that matches a pattern; fails when there is none.
last() {
  local name=$1 pattern=$2 line
  line=$(grep -E "$pattern" "$scratch/$name.log" | tail -n 1) ||
    { tail -n 30 "$scratch/$name.log"; fail "$name printed no line matching '$pattern'"; }
  echo "  $name: $line"
}

run Dravik
last Dravik '^Rx= '
last Dravik '^Lx= '
last Dravik '^log: - Destruction is done\. -$'
[ -s "$scratch/cwd-Dravik/Dravik.png" ] || fail "Dravik's tour wrote no screenshot"
run Sorvane
last Sorvane '^memLCRRes: Lx= '
last Sorvane '^memLCRRes: R= '
last Sorvane '^Tour: saved [1-9][0-9]* lines to '
last Sorvane '^Close: both device threads stopped\.$'

# Calibrating on a box that is not shorted: each program refuses, says why on a "refused:" line
# and ends with exit code 2 (a home of its own, so that the files above stay as checked).
refused() {
  local name=$1 rc=0
  mkdir -p "$scratch/home-refused" "$scratch/cwd-refused-$name"
  (cd "$scratch/cwd-refused-$name" &&
     env -i PATH=/usr/bin:/bin HOME="$scratch/home-refused" LANG=C.UTF-8 \
       TOUR_CALIBRATION_BOX="Virtual box: 47 Ohm" \
       timeout 600 "$bindir/$name" >"$scratch/refused-$name.log" 2>&1) || rc=$?
  [ "$rc" -eq 2 ] || { tail -n 30 "$scratch/refused-$name.log"; fail "$name ended with $rc, not 2, on a calibration it must refuse"; }
  line=$(grep -m1 '^refused: ' "$scratch/refused-$name.log") ||
    { tail -n 30 "$scratch/refused-$name.log"; fail "$name printed no refused: line"; }
  echo "  $name: $line"
}
refused Dravik
refused Sorvane

# A results file that cannot be written (a named pipe where Sorvane.txt belongs): the tour says
# the save failed, in the window's words, and never counts the lines of a file it did not write.
mkdir -p "$scratch/home-unsaved/.config" "$scratch/cwd-unsaved"
mkfifo "$scratch/home-unsaved/.config/Sorvane.txt"
(cd "$scratch/cwd-unsaved" &&
   env -i PATH=/usr/bin:/bin HOME="$scratch/home-unsaved" LANG=C.UTF-8 \
     timeout 600 "$bindir/Sorvane" >"$scratch/unsaved.log" 2>&1) || true
line=$(grep -m1 '^Tour: not saved: ' "$scratch/unsaved.log") ||
  { tail -n 30 "$scratch/unsaved.log"; fail "Sorvane printed no 'Tour: not saved:' line for a pipe"; }
! grep -q '^Tour: saved ' "$scratch/unsaved.log" || fail "Sorvane's tour said it saved into a pipe"
echo "  Sorvane: $line"

config="$scratch/home/.config"
for file in Dravik.ini Sorvane.ini Sorvane.txt; do
  [ -s "$config/$file" ] || fail "$file is not in the user's configuration folder"
done
grep -q '^\[Calibration\]' "$config/Dravik.ini" || fail "Dravik.ini holds no calibration"
grep -q '^\[WaveSetup\]' "$config/Sorvane.ini" || fail "Sorvane.ini holds no device setup"
for file in Dravik.ini Dravik.png Sorvane.ini Sorvane.txt Sorvane.png; do
  [ ! -e "$bindir/$file" ] || fail "$bindir/$file was written beside the installed program"
done
echo "install-check: settings and results in ~/.config: $(cd "$config" && ls | tr '\n' ' ')"

$SUDO apt-get remove -y -qq "$package" >/dev/null 2>&1 || fail "apt-get remove"
[ ! -e "$bindir/Dravik" ] || fail "$bindir/Dravik is still there after the removal"
echo "install-check: passed (installed, both programs measured, removed)"
