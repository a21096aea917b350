# Extra drive letters for tests that need drives other than fixed disks:
#   D: a CD-ROM, E: a removable disk, F: a network share, G: a second fixed disk.
# Each is a plain folder in the prefix (so tests can put files there from outside);
# Wine's mount manager reports the type stored in HKLM\Software\Wine\Drives, which it
# reads from the 64-bit view of the registry.
for drive in d:cdrom:cdrom e:floppy:removable f:network:network g:hd:fixed2; do
  letter=${drive%%:*}; rest=${drive#*:}; type=${rest%%:*}; folder=${rest#*:}
  mkdir -p "$WINEPREFIX/drive_$folder"
  rm -f "$WINEPREFIX/dosdevices/$letter:"
  ln -s "../drive_$folder" "$WINEPREFIX/dosdevices/$letter:"
  wine_checked wine reg add 'HKLM\Software\Wine\Drives' /v "$letter:" /d "$type" /f /reg:64
done
# The mount manager reads the types when it starts: let this session end.
wineserver -w

# G:\loop\ is a backup folder whose subfolder "again" leads back to itself: a folder
# loop for the backup search to end in. Nothing may delete it.
loop="$WINEPREFIX/drive_fixed2/loop"
mkdir -p "$loop"
printf '[Files]\r\n0=SURVIN.EXE\r\n1=SURVIN.INI\r\n' > "$loop/SURVIN.INI"
: > "$loop/SURVIN.EXE"
ln -sfn . "$loop/again"
