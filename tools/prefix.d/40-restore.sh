# The restore tests' offline installation: drive R: is a plain folder of the prefix, so a
# test can lay out a second Windows tree there and restore into it by copying files.
mkdir -p "$WINEPREFIX/drive_offline"
rm -f "$WINEPREFIX/dosdevices/r:"
ln -s "../drive_offline" "$WINEPREFIX/dosdevices/r:"
