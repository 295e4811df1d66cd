#!/usr/bin/python3
"""Held-out evaluation of the face detector, the way the engine runs it.

Each held-out picture is scaled to width 640 and the detector sees a quarter
of that (area-averaged), as in the engine.  Faces of the teacher 100 pixels
wide or more at width 640 must be found; a detection that meets no teacher
face at all is a false face.  The held-out face-free photos count as pictures
too.  Reports, for the float model of a checkpoint and/or a weight file run
through the integer re-implementation (quant.IntNet), and optionally for the
program's own detector through `lumora-detect --raw`:
  recall at the detector's threshold (score > 0.5) and at the engine's
  (confidence >= 90, score >= 0.949), false faces per 100 pictures (all, at
  the engine's confidence, and those 100 pixels wide or more at width 640,
  the smallest the engine's face choice takes), median eye error as a
  fraction of the eye distance, and IoU between two of them.

    evaluate.py [--ckpt PATH] [--weights FILE] [--detect EXE] [--cache DIR]
"""
import argparse
import os
import subprocess
import sys

import cv2
import numpy as np
import torch

import data
import model
import quant

ENGINE_SCORE = 0.949      # confidence = score^2 x 100 >= 90
ENGINE_MIN_WIDTH = 100    # pixels at width 640: 25 of the detector's quarter-size input


def box_iou(a, b):
    ix = max(0.0, min(a[2], b[2]) - max(a[0], b[0]))
    iy = max(0.0, min(a[3], b[3]) - max(a[1], b[1]))
    inter = ix * iy
    u = (a[2] - a[0]) * (a[3] - a[1]) + (b[2] - b[0]) * (b[3] - b[1]) - inter
    return inter / u if u > 0 else 0.0


def to_pixels(b, w, h):
    """A normalised box as cnn_object_detect reports it (x, y, width, height
    rounded to whole pixels of the w x h input), in pixels of width 640."""
    x, y = int(b[0] * w + 0.5), int(b[1] * h + 0.5)
    bw, bh = int((b[2] - b[0]) * w + 0.5), int((b[3] - b[1]) * h + 0.5)
    return [4 * x, 4 * y, 4 * (x + bw), 4 * (y + bh)]


def engine_input(img):
    """Width 640, then a quarter with area averaging (the engine's copy)."""
    h, w = img.shape[:2]
    f = 640.0 / w
    big = cv2.resize(img, (640, max(1, int(round(h * f)))),
                     interpolation=cv2.INTER_AREA if f < 1 else cv2.INTER_LINEAR)
    small = cv2.resize(big, None, fx=0.25, fy=0.25, interpolation=cv2.INTER_AREA)
    return big, small, f


def test_set(cache):
    pics = data.read_labels("test", cache)
    items = [(os.path.join(cache, "src", rel), faces) for rel, (_, faces) in sorted(pics.items())]
    items += [(os.path.join(cache, "src", rel), []) for rel in data.read_backgrounds("test")]
    return items


class FloatDetector:
    def __init__(self, ckpt):
        ck = torch.load(ckpt)
        self.net = model.FaceNet()
        self.net.load_state_dict(ck["ema"] if "ema" in ck else ck)
        self.net.eval()

    def __call__(self, small):
        h, w = small.shape[:2]
        x = torch.from_numpy(small).permute(2, 0, 1)[None].float()
        with torch.no_grad():
            b, s, sizes = self.net(x)
        pri = torch.from_numpy(model.priors(sizes, w, h))
        return model.detect(b[0], s[0], pri)


class IntDetector:
    def __init__(self, weights):
        self.net = quant.IntNet(quant.read_weights(weights))

    def __call__(self, small):
        h, w = small.shape[:2]
        b, s, sizes = self.net.run(np.ascontiguousarray(small))
        pri = torch.from_numpy(model.priors(sizes, w, h))
        return model.detect(torch.from_numpy(b), torch.from_numpy(s), pri)


class ProgramDetector:
    """The program's detector through lumora-detect (--raw: on the image as given)."""

    def __init__(self, exe, weights=None):
        self.cmd = [exe, "--raw"] + (["--weights", weights] if weights else [])

    def __call__(self, small):
        h, w = small.shape[:2]
        path = "/tmp/facetrain-eval-%d.png" % os.getpid()
        cv2.imwrite(path, small)
        out = subprocess.run(self.cmd + [path], capture_output=True, text=True, check=True).stdout
        dets = []
        for line in out.splitlines():
            p = line.split()
            if len(p) != 15 or p[0] == "#":
                continue
            v = [float(t) for t in p]
            # confidence x y w h then five points, in pixels of the given image.
            score = float(np.sqrt(v[0] / 100.0))
            box = [v[1] / w, v[2] / h, (v[1] + v[3]) / w, (v[2] + v[4]) / h]
            pts = [v[5 + j] / (w if j % 2 == 0 else h) for j in range(10)]
            dets.append((score, box, pts))
        return dets


def evaluate(detector, items, other=None):
    need = found = found_engine = false = false_engine = false_big = 0
    eye_err, ious = [], []
    for path, faces in items:
        img = cv2.imread(path, cv2.IMREAD_COLOR)
        big, small, f = engine_input(img)
        sh, sw = small.shape[:2]
        dets = detector(small)
        # Detections in pixels of the width-640 picture.
        d640 = [(s, [b[0] * sw * 4, b[1] * sh * 4, b[2] * sw * 4, b[3] * sh * 4],
                 [p[j] * (sw if j % 2 == 0 else sh) * 4 for j in range(10)]) for s, b, p in dets]
        gts = [([fc.box[0] * f, fc.box[1] * f, (fc.box[0] + fc.box[2]) * f, (fc.box[1] + fc.box[3]) * f],
                fc.pts * f) for fc in faces]
        for s, b, _ in d640:
            if all(box_iou(b, g) < 0.3 for g, _ in gts):
                false += 1
                false_engine += s >= ENGINE_SCORE
                # The engine's face choice passes over anything narrower.
                false_big += b[2] - b[0] >= ENGINE_MIN_WIDTH
        for g, pts in gts:
            if g[2] - g[0] < 100:
                continue
            need += 1
            best = max(d640, key=lambda d: box_iou(d[1], g), default=None)
            if best is None or box_iou(best[1], g) < 0.4:
                continue
            found += 1
            found_engine += best[0] >= ENGINE_SCORE
            eye_d = np.linalg.norm(pts[0] - pts[1])
            e = [np.linalg.norm(np.array(best[2][2 * j:2 * j + 2]) - pts[j]) / eye_d for j in (0, 1)]
            eye_err.append(max(e))
        if other is not None:
            # Each sample face (as above) as both detectors see it.
            # The other's boxes go through the program's conversion to whole
            # pixels of the detector's input first, so that both are compared
            # in the same units.
            odets = [(s, to_pixels(b, sw, sh)) for s, b, _ in other(small)]
            for g, _ in gts:
                if g[2] - g[0] < 100:
                    continue
                a = max(d640, key=lambda d: box_iou(d[1], g), default=None)
                b = max(odets, key=lambda d: box_iou(d[1], g), default=None)
                if a is not None and b is not None and min(box_iou(a[1], g), box_iou(b[1], g)) >= 0.4:
                    ious.append(box_iou(a[1], b[1]))
    n = len(items)
    res = {
        "pictures": n, "faces": need,
        "recall": found / max(1, need), "recall_engine": found_engine / max(1, need),
        "false_per_100": 100.0 * false / n, "false_engine_per_100": 100.0 * false_engine / n,
        "false_100px_per_100": 100.0 * false_big / n,
        "eye_median": float(np.median(eye_err)) if eye_err else float("nan"),
    }
    if other is not None:
        res["iou_min"] = min(ious) if ious else float("nan")
        res["iou_median"] = float(np.median(ious)) if ious else float("nan")
        res["compared_faces"] = len(ious)
    return res


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cache", default=os.environ.get("FACETRAIN_CACHE", "/work/facetrain-cache"))
    ap.add_argument("--ckpt")
    ap.add_argument("--weights")
    ap.add_argument("--detect", help="lumora-detect executable")
    ap.add_argument("--detect-weights", help="weight file for lumora-detect (default: built-in)")
    ap.add_argument("--threads", type=int, default=2)
    args = ap.parse_args()
    torch.set_num_threads(args.threads)
    items = test_set(args.cache)
    flt = FloatDetector(args.ckpt) if args.ckpt else None
    intd = IntDetector(args.weights) if args.weights else None
    prog = ProgramDetector(args.detect, args.detect_weights) if args.detect else None
    if flt:
        print("float  ", evaluate(flt, items))
    if intd and not prog:
        print("integer", evaluate(intd, items, flt))
    if prog:
        print("program", evaluate(prog, items, flt))
        if intd:
            print("program vs integer", evaluate(prog, items, intd))


if __name__ == "__main__":
    sys.exit(main())
