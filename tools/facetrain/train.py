#!/usr/bin/python3
"""Trains the face detector on samples made on the fly (data.py).

The schedule is set in wall-clock minutes, so that a run fits the time it is
given: linear warm-up, then cosine decay of the learning rate to the end.
A checkpoint (model, optimiser, averaged weights, elapsed time) is written
every few minutes outside the repository; starting again resumes from it.

    train.py [--cache DIR] [--minutes 62] [--threads 3]

Fine-tuning from another run's checkpoint (copied, never written):

    train.py --init CACHE/ckpt/last.pt --ckdir CACHE/ckpt2 --minutes 22 --lr 4e-4 \
        --neg-weight 2 --min-neg 48 --empty 0.35 --whole 0.3 --defocus 0.25 --mine-minutes 6

Hard-negative mining (--mine-minutes): every few minutes the averaged model is
run over the training face-free photos, whole and in windows, the way the
engine sees a picture; photos where it finds something face-like are then
drawn more often as backgrounds.
"""
import argparse
import copy
import math
import os
import time

import cv2
import numpy as np
import torch
import torch.nn.functional as F

import data
import model

POS_IOU = 0.35
NEG_RATIO = 3


class Stream(torch.utils.data.IterableDataset):
    def __init__(self, cache, batch, seed, **maker):
        self.cache, self.batch, self.seed, self.maker = cache, batch, seed, maker

    def __iter__(self):
        info = torch.utils.data.get_worker_info()
        cv2.setNumThreads(1)
        sm = data.SampleMaker(self.cache, "train", seed=self.seed + (info.id if info else 0),
                              **self.maker)
        while True:
            imgs, gts = [], []
            for _ in range(self.batch):
                img, boxes, pts, ignore = sm.sample()
                imgs.append(img)
                gts.append((boxes, pts, ignore))
            x = torch.from_numpy(np.stack(imgs)).permute(0, 3, 1, 2).float()
            yield x, gts


def match(gt_boxes, gt_pts, ignore, pri):
    """Per prior: label (1 face, 0 background, -1 ignored) and regression targets."""
    n_pri = pri.shape[0]
    labels = torch.zeros(n_pri, dtype=torch.long)
    targets = torch.zeros(n_pri, 14)
    if gt_boxes.shape[0] == 0:
        return labels, targets
    ov = model.iou(gt_boxes, pri)                      # G x P
    best_ov, best_gt = ov.max(0)
    # Every usable face gets at least its best prior.
    for g in range(gt_boxes.shape[0]):
        if not ignore[g]:
            p = int(ov[g].argmax())
            best_gt[p] = g
            best_ov[p] = 2.0
    pos = best_ov >= POS_IOU
    ign = ignore[best_gt] & pos
    # Near misses of a face are neither faces nor clear background.
    labels[(best_ov >= 0.2) & ~pos] = -1
    labels[pos] = 1
    labels[ign] = -1
    idx = torch.nonzero(labels == 1).flatten()
    if idx.numel():
        g = best_gt[idx]
        targets[idx] = model.encode(gt_boxes[g], gt_pts[g], pri[idx])
    return labels, targets


def multibox_loss(boxes, scores, gts, pri, neg_weight=1.0, min_neg=12):
    labels, targets = [], []
    for b, p, ig in gts:
        lab, tgt = match(torch.as_tensor(b), torch.as_tensor(p), torch.as_tensor(ig), pri)
        labels.append(lab)
        targets.append(tgt)
    labels = torch.stack(labels)
    targets = torch.stack(targets)
    pos = labels == 1
    n_pos = max(1, int(pos.sum()))
    loc = F.smooth_l1_loss(boxes[pos][:, :4], targets[pos][:, :4], reduction="sum") / n_pos
    lmk = F.smooth_l1_loss(boxes[pos][:, 4:], targets[pos][:, 4:], reduction="sum") / n_pos
    # Hard negatives: the background priors the model finds most face-like.
    ce = F.cross_entropy(scores.reshape(-1, 2), labels.clamp(min=0).reshape(-1),
                         reduction="none").reshape(labels.shape)
    neg_ce = ce.detach().clone()
    neg_ce[labels != 0] = -1.0
    order = neg_ce.argsort(1, descending=True)
    rank = order.argsort(1)
    n_neg = (pos.sum(1, keepdim=True) * NEG_RATIO).clamp(min=min_neg)
    neg = (rank < n_neg) & (labels == 0)
    conf = (ce[pos].sum() + neg_weight * ce[neg].sum()) / n_pos
    return loc, lmk, conf


def mine_backgrounds(net, cache, seed):
    """{training face-free photo: sampling weight}: the more face-like the
    model finds anything in it (whole picture at the engine's scale, and a few
    random windows), the more often it is drawn."""
    rng = np.random.default_rng(seed)
    src = os.path.join(cache, "src")
    weights, worst = {}, []
    net.eval()
    for rel in data.read_backgrounds("train"):
        img = data.load(os.path.join(src, rel))
        while max(img.shape[:2]) > 1600:
            img = cv2.pyrDown(img)
        h, w = img.shape[:2]
        views = [cv2.resize(img, (160, max(72, int(round(h * 160.0 / w)))), interpolation=cv2.INTER_AREA)]
        for _ in range(4):
            f = float(np.exp(rng.uniform(np.log(0.15), 0.0)))
            cw, ch = max(16, int(w * f)), max(12, int(w * f * 0.75))
            ch = min(ch, h)
            x0, y0 = int(rng.integers(0, w - cw + 1)), int(rng.integers(0, h - ch + 1))
            views.append(cv2.resize(img[y0:y0 + ch, x0:x0 + cw], (160, max(72, int(160 * ch / cw))),
                                    interpolation=cv2.INTER_AREA))
        best = 0.0
        with torch.no_grad():
            for v in views:
                x = torch.from_numpy(np.ascontiguousarray(v)).permute(2, 0, 1)[None].float()
                _, s, _ = net(x)
                best = max(best, float(torch.softmax(s[0], 1)[:, 1].max()))
        weights[rel] = 1.0 + 12.0 * max(0.0, best - 0.1)
        worst.append((best, rel))
    worst.sort(reverse=True)
    print("mined: " + ", ".join("%s %.2f" % (r.split("/")[-1], b) for b, r in worst[:6]), flush=True)
    return weights


def lr_at(frac, base):
    if frac < 0.02:
        return base * frac / 0.02
    return 1e-5 + (base - 1e-5) * 0.5 * (1 + math.cos(math.pi * min(1.0, frac)))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cache", default=os.environ.get("FACETRAIN_CACHE", "/work/facetrain-cache"))
    ap.add_argument("--minutes", type=float, default=62.0)
    ap.add_argument("--threads", type=int, default=3)
    ap.add_argument("--batch", type=int, default=32)
    ap.add_argument("--lr", type=float, default=2e-3)
    ap.add_argument("--ckpt-minutes", type=float, default=3.0)
    ap.add_argument("--ckdir", help="checkpoint folder (default CACHE/ckpt)")
    ap.add_argument("--init", help="start from this checkpoint's averaged weights (read only)")
    ap.add_argument("--neg-weight", type=float, default=1.0, help="weight of the background score loss")
    ap.add_argument("--min-neg", type=int, default=12, help="hard negatives per picture at least")
    ap.add_argument("--empty", type=float, default=0.2, help="share of face-free samples")
    ap.add_argument("--whole", type=float, default=0.0, help="share of whole-photo backgrounds")
    ap.add_argument("--defocus", type=float, default=0.0, help="share of strongly blurred backgrounds")
    ap.add_argument("--symmetric", type=float, default=0.0, help="share of backgrounds with mirror-symmetric patches")
    ap.add_argument("--mine-minutes", type=float, default=0.0, help="hard-negative mining interval")
    args = ap.parse_args()
    torch.set_num_threads(args.threads)
    ckdir = args.ckdir or os.path.join(args.cache, "ckpt")
    os.makedirs(ckdir, exist_ok=True)
    ckpath = os.path.join(ckdir, "last.pt")
    scene = 0.55 * (1.0 - args.empty) / 0.8
    maker = {"mix": (scene, 1.0 - args.empty), "whole": args.whole, "defocus": args.defocus,
             "symmetric": args.symmetric}

    net = model.FaceNet()
    ema = copy.deepcopy(net)
    opt = torch.optim.AdamW(net.parameters(), lr=args.lr, weight_decay=1e-4)
    step, elapsed = 0, 0.0
    if os.path.exists(ckpath):
        ck = torch.load(ckpath)
        net.load_state_dict(ck["model"])
        ema.load_state_dict(ck["ema"])
        opt.load_state_dict(ck["opt"])
        step, elapsed = ck["step"], ck["elapsed"]
        print("resumed at step %d, %.1f min" % (step, elapsed / 60), flush=True)
    elif args.init:
        ck = torch.load(args.init)
        net.load_state_dict(ck["ema"])
        ema.load_state_dict(ck["ema"])
        print("starting from %s (step %s)" % (args.init, ck.get("step", "?")), flush=True)
    total = args.minutes * 60.0
    pri = torch.from_numpy(model.priors(model.map_sizes_for(data.OUT_W, data.OUT_H),
                                        data.OUT_W, data.OUT_H))
    def make_loader():
        if args.mine_minutes > 0:
            maker["bg_weights"] = mine_backgrounds(ema, args.cache, step)
        return iter(torch.utils.data.DataLoader(Stream(args.cache, args.batch, 1000 + step, **maker),
                                                batch_size=None, num_workers=1, prefetch_factor=4))

    loader = make_loader()
    t0 = time.time() - elapsed
    last_ck = last_mine = time.time()
    avg = None
    net.train()
    while True:
        if args.mine_minutes > 0 and time.time() - last_mine > args.mine_minutes * 60:
            del loader
            loader = make_loader()
            last_mine = time.time()
            net.train()
        x, gts = next(loader)
        elapsed = time.time() - t0
        frac = elapsed / total
        for g in opt.param_groups:
            g["lr"] = lr_at(frac, args.lr)
        boxes, scores, _ = net(x)
        loc, lmk, conf = multibox_loss(boxes, scores, gts, pri, args.neg_weight, args.min_neg)
        loss = 2.0 * loc + lmk + conf
        opt.zero_grad()
        loss.backward()
        torch.nn.utils.clip_grad_norm_(net.parameters(), 10.0)
        opt.step()
        step += 1
        d = min(0.999, (1 + step) / (10 + step))
        with torch.no_grad():
            for pe, p in zip(ema.state_dict().values(), net.state_dict().values()):
                if pe.dtype.is_floating_point:
                    pe.mul_(d).add_(p, alpha=1 - d)
                else:
                    pe.copy_(p)
        v = np.array([float(loc), float(lmk), float(conf)])
        avg = v if avg is None else 0.98 * avg + 0.02 * v
        if step % 50 == 0:
            print("step %d  %.1f min  lr %.2e  loc %.3f lmk %.3f conf %.3f" %
                  (step, elapsed / 60, opt.param_groups[0]["lr"], *avg), flush=True)
        done = frac >= 1.0
        if done or time.time() - last_ck > args.ckpt_minutes * 60:
            tmp = ckpath + ".tmp"
            torch.save({"model": net.state_dict(), "ema": ema.state_dict(), "opt": opt.state_dict(),
                        "step": step, "elapsed": elapsed}, tmp)
            os.replace(tmp, ckpath)
            last_ck = time.time()
        if done:
            break
    print("finished at step %d" % step, flush=True)


if __name__ == "__main__":
    main()
