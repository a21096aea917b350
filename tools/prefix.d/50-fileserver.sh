# A file server for backups of many machines: \\fileserver\regbackup is a plain folder of
# the prefix (share_regbackup), which Wine reaches through dosdevices/unc/<server>/<share>.
# No other share of that server exists, so \\fileserver\<anything else> is a missing share.
mkdir -p "$WINEPREFIX/share_regbackup" "$WINEPREFIX/dosdevices/unc/fileserver"
ln -sfn ../../../share_regbackup "$WINEPREFIX/dosdevices/unc/fileserver/regbackup"
