# The loaded hives of a Windows 7 machine: hivelist values in the NT device form and the
# hive files they name, on C: (\Device\HarddiskVolume1 in Wine).
#   machine:  SYSTEM SOFTWARE SAM SECURITY (System32\config), HARDWARE (no file),
#             BCD00000000 (\Boot\BCD, never backed up)
#   users:    .DEFAULT (config\DEFAULT), S-1-5-19 / S-1-5-20 (ServiceProfiles),
#             the current user's NTUSER.DAT and UsrClass.dat (S-1-5-21-0-0-0-1000, Wine's
#             own user key), and another user's NTUSER.DAT in C:\users\<user>2 (a folder
#             whose name contains the current user's, so only the whole name matches).
# Each file is a hive that Wine's registry loads (its own text format, as its RegSaveKey
# writes it: the header line, then keys in brackets with their values) and holds its own
# text, so byte-for-byte checks mean something and the restore's load check passes.
# Wine keeps its registry in text files and does not hold these files open: a plain copy
# of them succeeds. Wine keeps under HKEY_USERS only .Default and the current user's key
# (others vanish when the wineserver ends), so only the machine keys it lacks are added.

hives_user=$(sed -n '/ProfileList\\\\S-1-5-21-0-0-0-1000\]/,/^$/s/^"ProfileImagePath"="C:\\\\users\\\\\(.*\)"$/\1/p' \
  "$WINEPREFIX/system.reg" | head -n 1)
[ -n "$hives_user" ] || hives_user=${USER:-$(id -un)}
hives_other="${hives_user}2"
hives_c="$WINEPREFIX/drive_c"

# hives_file <path under drive_c> <tag>: a small hive whose key and values name it.
hives_file() {
  mkdir -p "$(dirname "$hives_c/$1")"
  {
    printf 'WINE REGISTRY Version 2\n\n'
    printf '[Tolmen test hive %s] 1700000000\n' "$2"
    printf '"Hive"="%s"\n' "$2"
    printf '"Tag"="'
    for _ in 1 2 3 4 5 6 7 8; do printf '%s;' "$2"; done
    printf '"\n'
  } >"$hives_c/$1"
}

hives_file windows/system32/config/SYSTEM SYSTEM
hives_file windows/system32/config/SOFTWARE SOFTWARE
hives_file windows/system32/config/SAM SAM
hives_file windows/system32/config/SECURITY SECURITY
hives_file windows/system32/config/DEFAULT DEFAULT
hives_file Boot/BCD BCD
hives_file windows/ServiceProfiles/LocalService/NTUSER.DAT LocalService
hives_file windows/ServiceProfiles/NetworkService/NTUSER.DAT NetworkService
hives_file "users/$hives_user/NTUSER.DAT" "$hives_user-NTUSER"
hives_file "users/$hives_user/AppData/Local/Microsoft/Windows/UsrClass.dat" "$hives_user-UsrClass"
hives_file "users/$hives_other/NTUSER.DAT" "$hives_other-NTUSER"

hives_vol='\\Device\\HarddiskVolume1'
hives_reg="$WINEPREFIX/drive_c/tolmen-hives.reg"
{
  printf 'REGEDIT4\r\n\r\n'
  printf '[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\hivelist]\r\n'
  printf '"\\\\REGISTRY\\\\MACHINE\\\\HARDWARE"=""\r\n'
  printf '"\\\\REGISTRY\\\\MACHINE\\\\SYSTEM"="%s\\\\Windows\\\\System32\\\\config\\\\SYSTEM"\r\n' "$hives_vol"
  printf '"\\\\REGISTRY\\\\MACHINE\\\\SOFTWARE"="%s\\\\Windows\\\\System32\\\\config\\\\SOFTWARE"\r\n' "$hives_vol"
  printf '"\\\\REGISTRY\\\\MACHINE\\\\SAM"="%s\\\\Windows\\\\System32\\\\config\\\\SAM"\r\n' "$hives_vol"
  printf '"\\\\REGISTRY\\\\MACHINE\\\\SECURITY"="%s\\\\Windows\\\\System32\\\\config\\\\SECURITY"\r\n' "$hives_vol"
  printf '"\\\\REGISTRY\\\\MACHINE\\\\BCD00000000"="%s\\\\Boot\\\\BCD"\r\n' "$hives_vol"
  printf '"\\\\REGISTRY\\\\USER\\\\.DEFAULT"="%s\\\\Windows\\\\System32\\\\config\\\\DEFAULT"\r\n' "$hives_vol"
  printf '"\\\\REGISTRY\\\\USER\\\\S-1-5-19"="%s\\\\Windows\\\\ServiceProfiles\\\\LocalService\\\\NTUSER.DAT"\r\n' "$hives_vol"
  printf '"\\\\REGISTRY\\\\USER\\\\S-1-5-20"="%s\\\\Windows\\\\ServiceProfiles\\\\NetworkService\\\\NTUSER.DAT"\r\n' "$hives_vol"
  printf '"\\\\REGISTRY\\\\USER\\\\S-1-5-21-0-0-0-1000"="%s\\\\Users\\\\%s\\\\NTUSER.DAT"\r\n' "$hives_vol" "$hives_user"
  printf '"\\\\REGISTRY\\\\USER\\\\S-1-5-21-0-0-0-1000_Classes"="%s\\\\Users\\\\%s\\\\AppData\\\\Local\\\\Microsoft\\\\Windows\\\\UsrClass.dat"\r\n' "$hives_vol" "$hives_user"
  printf '"\\\\REGISTRY\\\\USER\\\\S-1-5-21-0-0-0-1001"="%s\\\\Users\\\\%s\\\\NTUSER.DAT"\r\n' "$hives_vol" "$hives_other"
  printf '\r\n[HKEY_LOCAL_MACHINE\\SAM\\SAM]\r\n"Tolmen test machine"="SAM"\r\n'
  printf '\r\n[HKEY_LOCAL_MACHINE\\SECURITY\\Policy]\r\n"Tolmen test machine"="SECURITY"\r\n'
} >"$hives_reg"
wine_checked wine reg import 'C:\tolmen-hives.reg'
rm -f "$hives_reg"
wineserver -w
unset -f hives_file
unset hives_user hives_other hives_c hives_vol hives_reg
