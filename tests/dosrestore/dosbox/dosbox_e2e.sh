#!/usr/bin/env bash
# End to end test of the DOS restore program: Tolmen.exe makes a real backup under Wine,
# its SURVIN.EXE restores that backup in DOSBox into a fake Windows tree, and the same
# SURVIN.EXE still runs as the Windows program under Wine.
# Usage: dosbox_e2e.sh <dist folder> <work folder>; WINEPREFIX (and DISPLAY) from the
# environment, as the Windows tests have them.
set -uo pipefail
dist=$(realpath "$1")
work=$(realpath -m "$2")
: "${WINEPREFIX:?WINEPREFIX must name the test prefix}"
export WINEDEBUG=-all

fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work/home"
drive="$work/c"             # DOSBox drive C:
mkdir -p "$drive/BK"

# A backup of the default hive groups (system and current user) made by the real program.
tag="dos-e2e-$$"
backup="$WINEPREFIX/drive_c/tolmen-tests/$tag"
rm -rf "$backup"
trap 'rm -rf "$backup"' EXIT
# The program runs from a copy of its own, so its settings file (beside it) and the
# backup places it records are this test's alone. Another test may hold the backup
# program's single-instance lock for a moment.
mkdir -p "$work/tolmen"
cp "$dist/Tolmen.exe" "$work/tolmen/Tolmen.exe"
for attempt in 1 2 3 4 5; do
  timeout 300 wine "$work/tolmen/Tolmen.exe" "C:\\tolmen-tests\\$tag\\" /silent
  [ -f "$backup/SURVIN.INI" ] && break
  sleep 3
done
[ -f "$backup/SURVIN.INI" ] || fail "Tolmen.exe wrote no SURVIN.INI"
[ -f "$backup/SURVIN.EXE" ] || fail "Tolmen.exe placed no SURVIN.EXE"
cmp -s "$backup/SURVIN.EXE" "$dist/Survin.exe" || fail "SURVIN.EXE differs from dist/Survin.exe"
cp -r "$backup/." "$drive/BK/"

# The hives as the DOS program reads them: Saved, then Hive, then Category per section.
# Output lines: category|saved|live path (drive letter and backslashes as recorded).
mapfile -t hives < <(tr -d '\r' < "$drive/BK/SURVIN.INI" | awk -F'=' '
  /^\[DATA/ { saved = ""; hive = "" }
  /^Saved=/ { saved = substr($0, 7); hive = "" }
  /^Hive=/ { hive = substr($0, 6) }
  /^Category=/ { if (saved != "" && hive != "") print substr($0, 10) "|" saved "|" hive; saved = ""; hive = "" }')
[ ${#hives[@]} -gt 0 ] || fail "no hives in SURVIN.INI"

# Host path on drive C: of a DOS path C:\a\b.
hostPath() { local p=${1#?:\\}; echo "$drive/${p//\\//}"; }

# A fake Windows tree: every live hive file, with contents of its own. The key file
# answers Enter (start) and Y (keep .bak copies), then Y for each hive whose ".bak" name
# DOS cannot hold (a name with an extension), then any key on the finished screen.
keys=$'\r'Y
n=0
for entry in "${hives[@]}"; do
  IFS='|' read -r category saved live <<< "$entry"
  file=$(hostPath "$live")
  mkdir -p "$(dirname "$file")"
  printf 'live hive %d before the restore\r\n' "$n" > "$file"
  name=${live##*\\}
  [[ "$name" == *.* ]] && keys+=Y
  n=$((n + 1))
done
keys+=$'\r'
printf '%s' "$keys" > "$drive/KEYS.BIN"
sysroot=$(tr -d '\r' < "$drive/BK/SURVIN.INI" | sed -n 's/^SysRoot=//p' | head -n1)
mkdir -p "$(hostPath "$sysroot")"

# DOSBox without a window or sound; its shell sets COMSPEC=Z:\COMMAND.COM.
HOME="$work/home" SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout 300 \
  dosbox -noconsole -c "mount c \"$drive\"" -c "c:" -c "cd \\BK" \
         -c "SURVIN.EXE < C:\\KEYS.BIN > C:\\OUT.TXT" -c "exit" > "$work/dosbox.log" 2>&1 \
  || fail "DOSBox did not end (see $work/dosbox.log)"

# Every live hive now equals its saved copy; ".bak" copies hold the old contents where
# DOS can name them, and no other ".bak" appeared.
restored=0
n=0
for entry in "${hives[@]}"; do
  IFS='|' read -r category saved live <<< "$entry"
  file=$(hostPath "$live")
  cmp -s "$file" "$drive/BK/${saved//\\//}" || {
    cat "$drive/OUT.TXT" >&2; fail "$live was not restored from $saved"; }
  bak=$(find "$(dirname "$file")" -maxdepth 1 -iname "$(basename "$file").bak" | head -n1)
  name=${live##*\\}
  if [[ "$name" == *.* ]]; then
    [ -z "$bak" ] || fail "unexpected $bak"
  else
    [ -n "$bak" ] || fail "no .bak copy of $live"
    [ "$(cat "$bak")" = "$(printf 'live hive %d before the restore\r\n' "$n")" ] ||
      fail "$bak does not hold the old hive"
  fi
  restored=$((restored + 1))
  n=$((n + 1))
done
echo "restored $restored hives in DOSBox"

# The same file is still the Windows restore program: Wine loads it as a PE module (a
# DOS-only file would be handed to DOSBox instead), and with an argument it does nothing
# and ends with 0.
WINEDEBUG=+loaddll timeout 120 wine "$drive/BK/SURVIN.EXE" check > "$work/wine.log" 2>&1
rc=$?
[ $rc -eq 0 ] || fail "SURVIN.EXE under Wine ended with $rc"
grep -qiE 'Loaded L".*SURVIN\.EXE" at [0-9A-F]+: native' "$work/wine.log" ||
  fail "Wine did not load SURVIN.EXE as a Windows program (see $work/wine.log)"
echo "PASS"
