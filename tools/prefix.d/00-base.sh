# Base state of every test prefix: a scratch folder for tests on drive C:.
mkdir -p "$WINEPREFIX/drive_c/tolmen-tests"
