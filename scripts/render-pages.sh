#!/usr/bin/env bash
# Renders the filter and pin property pages, each in the platform's property frame as a
# capture program opens it, to docs/filter-page.png and docs/pin-page.png, the images that
# README.md shows. Builds first, registers the module in build/wineprefix with no settings
# stored, so that the pages show the defaults, and runs orvix-page-images in a Wine
# desktop, which draws the frame's title bar as Windows does.
set -euo pipefail
cd "$(dirname "$0")/.."
# fonts-wine brings Wine's own Tahoma and Marlett (see below).
scripts/setup.sh fonts-wine

# Wine wants a display: lend the whole run one virtual display.
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

cmake --preset default
cmake --build --preset default --target Orvix61Test orvix-page-images

cd build
# Unregistering takes any stored settings with the class keys. The first program run in
# the prefix creates it (about 15 s, once).
./wine-run regsvr32 /s /u Orvix61Test.ax && ./wine-run regsvr32 /s Orvix61Test.ax || {
    echo "Registering Orvix61Test.ax failed" >&2
    exit 1
}

# Debian's Wine does not look in its own font folder, so "MS Shell Dlg" (Tahoma, by
# Wine's font substitutes) falls back to Liberation Sans, and the title bar's close
# button, drawn with Marlett, shows a letter. Every Wine looks in the prefix's folder.
fonts=wineprefix/drive_c/windows/Fonts
for font in tahoma.ttf tahomabd.ttf marlett.ttf; do
    [ -e "$fonts/$font" ] || cp "/usr/share/wine/fonts/$font" "$fonts/"
done

images=(../docs/filter-page.png ../docs/pin-page.png)
mkdir -p ../docs
rm -f "${images[@]}"
# The desktop does not pass the program's exit code on: the images tell.
timeout 180 ./wine-run explorer /desktop=OrvixPages,800x600 \
    bin/orvix-page-images.exe '..\docs\filter-page.png' '..\docs\pin-page.png' || true
for image in "${images[@]}"; do
    if [ ! -s "$image" ]; then
        echo "Rendering the pages failed: $image was not written" >&2
        exit 1
    fi
done
echo "The pages are in $(cd ../docs && pwd)"
