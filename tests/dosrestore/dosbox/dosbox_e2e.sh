#!/usr/bin/env bash
# End to end test of the DOS restore program: Tolmen.exe makes a real backup under Wine,
# its SURVIN.EXE restores that backup in DOSBox into a fake Windows tree; a backup folder of
# regf hive files is restored over damaged ones; and the same SURVIN.EXE still runs as the
# Windows program under Wine.
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

# DOSBox without a window or sound; its shell sets COMSPEC=Z:\COMMAND.COM. It ignores the
# polite signal of timeout, which therefore follows with a kill.
HOME="$work/home" SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout -k 10 300 \
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

# Hive files as Windows keeps them (regf, written by hivexsh), in a backup folder made here
# rather than by Tolmen.exe, whose hive check under Wine loads only Wine's own format. The
# live SYSTEM has its base block zeroed and SOFTWARE is empty: both are restored, with
# their .bak copies. The saved SAM has a broken checksum and an entry's Hive names a
# document: each is refused alone with its question (answered Y), and so is a live path
# that DOS opens as a device (DOSBox's expanded-memory driver); the rest is restored.
regf="$work/regf"
mkdir -p "$regf/BK" "$regf/WINDOWS/system32/config" "$regf/DOCS"
bash "$(dirname "$(realpath "$0")")/../hives/make-hives.sh" "$work/hives" || fail "no hive files"
for name in SYSTEM SOFTWARE SAM DEFAULT; do cp "$work/hives/$name" "$regf/BK/$name"; done
cp "$work/hives/SYSTEM" "$regf/BK/SECURITY"
# One bit of the checksummed header changed: the checksum no longer fits.
python3 -c 'import sys; f = open(sys.argv[1], "r+b"); f.seek(48); b = f.read(1); f.seek(48); f.write(bytes([b[0] ^ 1]))' \
  "$regf/BK/SAM"
cp "$dist/Survin.exe" "$regf/BK/SURVIN.EXE"
config="$regf/WINDOWS/system32/config"
{ head -c 512 /dev/zero; tail -c +513 "$work/hives/NTUSER.DAT"; } > "$config/SYSTEM"
: > "$config/SOFTWARE"
cp "$work/hives/NTUSER.DAT" "$config/SAM"
cp "$work/hives/SAM" "$config/DEFAULT"
printf 'my thesis\r\n' > "$regf/DOCS/THESIS.DOC"
for f in SYSTEM SAM DEFAULT; do cp "$config/$f" "$work/live-$f"; done
{
  printf '[INFO]\r\nDateTime=2009-05-18 , 3:07:42 PM\r\nIniVersion=1\r\nWinVer=5.1\r\n'
  printf 'OSString=Windows XP Professional Service Pack 3 (build 2600)\r\nSysRoot=C:\\WINDOWS\r\n'
  i=0
  for entry in 'MACHINE\SYSTEM|SYSTEM|C:\WINDOWS\system32\config\SYSTEM' \
               'MACHINE\SECURITY|SECURITY|C:\DOCS\THESIS.DOC' \
               'MACHINE\SOFTWARE|SOFTWARE|C:\WINDOWS\system32\config\SOFTWARE' \
               'MACHINE\SAM|SAM|C:\WINDOWS\system32\config\SAM' \
               'MACHINE\EMMXXXX0|SECURITY|C:\WINDOWS\system32\config\EMMXXXX0' \
               'USERS\.DEFAULT|DEFAULT|C:\WINDOWS\system32\config\DEFAULT'; do
    IFS='|' read -r type saved live <<< "$entry"
    printf '[DATA%d]\r\nType=%s\r\nSaved=%s\r\nHive=%s\r\nCategory=1\r\n' $i "$type" "$saved" "$live"
    i=$((i + 1))
  done
  printf '[Files]\r\n0=SYSTEM\r\n'
} > "$regf/BK/SURVIN.INI"
# Enter, Y for the .bak copies, Y to each of the three questions, a key to end.
printf '\rYYYY\r' > "$regf/KEYS.BIN"
HOME="$work/home" SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout -k 10 120 \
  dosbox -noconsole -c "mount c \"$regf\"" -c "c:" -c "cd \\BK" \
         -c "SURVIN.EXE < C:\\KEYS.BIN > C:\\OUT.TXT" -c "exit" > "$work/dosbox-regf.log" 2>&1 \
  || fail "DOSBox did not end in the regf run (see $work/dosbox-regf.log)"
for f in SYSTEM SOFTWARE DEFAULT; do
  cmp -s "$config/$f" "$regf/BK/$f" || fail "live $f was not restored"
  printf 'ls\n' | hivexsh "$config/$f" | grep -q "Key1-" || fail "restored $f does not open as a hive"
done
bakOf() { find "$config" -maxdepth 1 -iname "$1.bak" | head -n1; }
cmp -s "$(bakOf SYSTEM)" "$work/live-SYSTEM" || fail "SYSTEM.BAK does not hold the zeroed live hive"
bak=$(bakOf SOFTWARE)
[ -n "$bak" ] && [ ! -s "$bak" ] || fail "no empty SOFTWARE.BAK"
cmp -s "$(bakOf DEFAULT)" "$work/live-DEFAULT" || fail "DEFAULT.BAK does not hold the old live hive"
cmp -s "$config/SAM" "$work/live-SAM" || fail "the damaged saved SAM was copied"
[ -z "$(bakOf SAM)" ] || fail "a .bak of SAM, whose saved file was refused"
[ "$(cat "$regf/DOCS/THESIS.DOC")" = "$(printf 'my thesis\r\n')" ] || fail "the document was written"
[ -z "$(ls "$regf/DOCS" | grep -iv '^THESIS.DOC$')" ] || fail "files beside the document: $(ls "$regf/DOCS")"
[ -z "$(ls "$config" | grep -i EMMXXXX0)" ] || fail "a copy went to the device's name"
echo "regf hives: damaged and empty live files restored, refused entries left alone"

# The same file is still the Windows restore program: Wine loads it as a PE module (a
# DOS-only file would be handed to DOSBox instead), and with an argument it does nothing
# and ends with 0.
WINEDEBUG=+loaddll timeout 120 wine "$drive/BK/SURVIN.EXE" check > "$work/wine.log" 2>&1
rc=$?
[ $rc -eq 0 ] || fail "SURVIN.EXE under Wine ended with $rc"
grep -qiE 'Loaded L".*SURVIN\.EXE" at [0-9A-F]+: native' "$work/wine.log" ||
  fail "Wine did not load SURVIN.EXE as a Windows program (see $work/wine.log)"
echo "PASS"
