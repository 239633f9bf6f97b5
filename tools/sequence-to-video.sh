#!/usr/bin/env bash
# Turns an animation's frames into a video or a GIF with ffmpeg:
#   tools/sequence-to-video.sh IMAGE_SEQUENCE_1 morph.mp4 [FRAMES_PER_SECOND]
#   tools/sequence-to-video.sh IMAGE_SEQUENCE_1 morph.gif [FRAMES_PER_SECOND]
# The frames' names (img_seq_0.010000.BMP .. img_seq_1.000000.BMP) all have the
# same length, so their alphabetical order is the order of the animation.
# An .mp4 is H.264 in yuv420p, which every player shows; that format needs an even
# height, so the 293 rows get one more, black, at the bottom. A .gif gets a palette
# made from its own frames.
set -euo pipefail
directory="${1:?usage: tools/sequence-to-video.sh SEQUENCE_DIRECTORY OUTPUT.mp4|OUTPUT.gif [FPS]}"
output="${2:?usage: tools/sequence-to-video.sh SEQUENCE_DIRECTORY OUTPUT.mp4|OUTPUT.gif [FPS]}"
fps="${3:-25}"
frames=("$directory"/img_seq_*.BMP)
[[ -e "${frames[0]}" ]] || { echo "no frames img_seq_*.BMP in $directory" >&2; exit 1; }

input=(-loglevel error -y -framerate "$fps" -pattern_type glob -i "$directory/img_seq_*.BMP")
case "$output" in
    *.gif)
        ffmpeg "${input[@]}" -vf "split[a][b];[a]palettegen[p];[b][p]paletteuse" "$output" ;;
    *)
        ffmpeg "${input[@]}" -vf "pad=iw:ceil(ih/2)*2" -c:v libx264 -pix_fmt yuv420p "$output" ;;
esac
echo "$output: ${#frames[@]} frames at $fps per second"
