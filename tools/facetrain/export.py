#!/usr/bin/python3
"""Exports a training checkpoint to the weight file that the program embeds.

Folds batch norm, equalises the channel ranges, quantises (quant.py), writes
the file, and checks that the integer network's detections match the float
model's on training-like samples and on the held-out pictures (IoU of every
float face with its integer counterpart).

    export.py --ckpt CKPT [--out core/facedetection/faceweights.bin] [--cache DIR]
"""
import argparse
import os

import numpy as np
import torch

import data
import evaluate
import model
import quant

REPO = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cache", default=os.environ.get("FACETRAIN_CACHE", "/work/facetrain-cache"))
    ap.add_argument("--ckpt", required=True)
    ap.add_argument("--out", default=os.path.join(REPO, "core", "facedetection", "faceweights.bin"))
    ap.add_argument("--calib", type=int, default=96)
    ap.add_argument("--threads", type=int, default=2)
    args = ap.parse_args()
    torch.set_num_threads(args.threads)

    ck = torch.load(args.ckpt)
    state = ck["ema"] if "ema" in ck else ck
    sm = data.SampleMaker(args.cache, "train", seed=12345)
    calib = [sm.sample()[0] for _ in range(args.calib)]
    del sm
    x = torch.from_numpy(np.stack(calib)).permute(0, 3, 1, 2).double()
    layers = quant.equalize(quant.fold(state), x)
    q = quant.quantise(layers)
    quant.write_weights(args.out, q)
    print("wrote %s (step %s)" % (args.out, ck.get("step", "?")))
    print("scales:", " ".join("%.6g" % s for _, _, s in q))

    flt = evaluate.FloatDetector(args.ckpt)
    intd = evaluate.IntDetector(args.out)
    # Every sample face: the float model's and the integer network's box.
    sm = data.SampleMaker(args.cache, "train", seed=777)
    ious = []
    for _ in range(64):
        img, gts, _, ignore = sm.sample()
        fd, idets = flt(img), intd(img)
        for g, ig in zip(gts, ignore):
            if ig or (g[2] - g[0]) * img.shape[1] < 25:
                continue
            a = max(fd, key=lambda d: evaluate.box_iou(d[1], g), default=None)
            b = max(idets, key=lambda d: evaluate.box_iou(d[1], g), default=None)
            if a and b and min(evaluate.box_iou(a[1], g), evaluate.box_iou(b[1], g)) >= 0.4:
                ious.append(evaluate.box_iou(a[1], b[1]))
    print("samples: %d faces 25 px or wider found by both, float vs integer IoU min %.3f median %.3f" %
          (len(ious), min(ious, default=float("nan")), float(np.median(ious)) if ious else float("nan")))

if __name__ == "__main__":
    main()
