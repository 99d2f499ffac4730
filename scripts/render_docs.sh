#!/usr/bin/env bash
# Renders the README's pictures with the program itself, offscreen: a
# screenshot, the settings window (on Xvfb), and a fall as an animated GIF (every 200 ms, played at 2x).
# Builds what it needs in build-test/ (plain, not sanitized); needs ImageMagick
# and gifsicle.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-test -j"$(nproc)" --target trenchwalk-render trenchwalk-idle trenchwalk-settings
render=build-test/tools/render/trenchwalk-render
export QT_QPA_PLATFORM=offscreen
"$render" screenshot docs/screenshot.png
# The settings window on Xvfb, as its end-to-end run opens it.
SCREENSHOT="$PWD/docs/settings.png" bash tests/platform/settings_end_to_end.sh \
  build-test/platform/trenchwalk-idle build-test/platform/trenchwalk-settings >/dev/null
frames="$(mktemp -d)"
trap 'rm -rf "$frames"' EXIT
"$render" fall "$frames" 200
for f in "$frames"/*.png; do
  convert "$f" -crop 784x768+240+0 +repage -colors 32 "${f%.png}.gif"
done
gifsicle -O3 --delay 10 --loopcount=forever "$frames"/*.gif -o docs/fall.gif
