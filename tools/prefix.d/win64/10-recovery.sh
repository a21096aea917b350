# The recovery system in which the 64-bit restore program runs (Windows RE, a 64-bit
# Windows PE without WOW64): the prefix has no 32-bit Windows at all (WINEARCH=win64),
# carries the key by which Windows PE marks its own SYSTEM hive, and has the installation
# that no longer starts on another drive letter: D:, a fixed disk of its own.
# Windows PE without WOW64 has no 32-bit system folder. Where this machine runs 32-bit
# Linux binaries, wineboot fills one in: emptied, no 32-bit program starts here ("could
# not load kernel32.dll").
rm -rf "$WINEPREFIX/drive_c/windows/syswow64"
mkdir -p "$WINEPREFIX/drive_c/windows/syswow64"
mkdir -p "$WINEPREFIX/drive_c/tolmen-tests" "$WINEPREFIX/drive_d"
rm -f "$WINEPREFIX/dosdevices/d:"
ln -s "../drive_d" "$WINEPREFIX/dosdevices/d:"
wine_checked wine reg add 'HKLM\Software\Wine\Drives' /v d: /d hd /f
wine_checked wine reg add 'HKLM\SYSTEM\CurrentControlSet\Control\MiniNT' /f
# The mount manager reads the drive types when it starts: let this session end.
wineserver -w
