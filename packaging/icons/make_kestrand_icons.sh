#!/usr/bin/env bash
# Writes kestrand-SIZE.png beside this script from the program's window icon
# (resources/kestrand/kestrand.ico). The 16 and 32 pixel sizes are the icon's own frames; the
# larger sizes redraw the same picture (framed panel, three bars) on its 32-pixel grid, scaled,
# so they stay sharp. Needs ImageMagick's convert.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ico="$here/../../resources/kestrand/kestrand.ico"
convert="${CONVERT:-/usr/bin/convert}"

"$convert" "${ico}[1]" -strip "PNG32:$here/kestrand-16.png"
"$convert" "${ico}[0]" -strip "PNG32:$here/kestrand-32.png"

for size in 48 64 128 256; do
    # Drawn four times larger, then reduced, for smooth edges.
    s=$(awk -v size="$size" 'BEGIN { print size * 4 / 32 }')
    px() { awk -v s="$s" -v v="$1" 'BEGIN { printf "%.2f", v * s }'; }
    "$convert" -size "$((size * 4))x$((size * 4))" xc:none \
        -fill '#E8EEF5' -stroke '#0B3D6B' -strokewidth "$(px 1)" \
        -draw "roundrectangle $(px 0.5),$(px 0.5) $(px 31.5),$(px 31.5) $(px 3),$(px 3)" \
        -stroke none \
        -fill '#1F5FA8' -draw "rectangle $(px 6),$(px 14) $(px 11),$(px 27)" \
        -fill '#C0392B' -draw "rectangle $(px 14),$(px 8) $(px 19),$(px 27)" \
        -fill '#F2A52E' -draw "rectangle $(px 22),$(px 18) $(px 27),$(px 27)" \
        -filter Box -resize "${size}x${size}" -strip "PNG32:$here/kestrand-$size.png"
done
