"""The face-detection network in torch, layer by layer as the program runs it,
with its prior boxes, the box/landmark encoding and the decoding.

Input: raw BGR pixels 0..255 (no normalisation), N x 3 x H x W float.
Trunk layers are conv + batch norm + ReLU while training; the batch norm is
folded into the convolution when the weights are exported.
"""
import math

import numpy as np
import torch
import torch.nn as nn
import torch.nn.functional as F

# (kernel, pad, stride, in, out) of the 24 layers, in file order.
LAYERS = [
    (3, 1, 2, 3, 32), (1, 0, 1, 32, 16), (3, 1, 1, 16, 32), (1, 0, 1, 32, 32),
    (3, 1, 1, 32, 64), (1, 0, 1, 64, 32), (3, 1, 1, 32, 64),
    (3, 1, 1, 64, 128), (1, 0, 1, 128, 64), (3, 1, 1, 64, 128),
    (3, 1, 1, 128, 256), (1, 0, 1, 256, 128), (3, 1, 1, 128, 256),
    (3, 1, 1, 256, 256), (1, 0, 1, 256, 256), (3, 1, 1, 256, 256),
    (3, 1, 1, 64, 42), (3, 1, 1, 64, 6), (3, 1, 1, 128, 28), (3, 1, 1, 128, 4),
    (3, 1, 1, 256, 28), (3, 1, 1, 256, 4), (3, 1, 1, 256, 42), (3, 1, 1, 256, 6),
]
TRUNK = 16
# Layers after which the trunk max-pools (2 x 2, stride 2).
POOL_AFTER = {1, 3, 6, 9, 12}
# Trunk layers whose output is a feature map, and the heads that read it.
MAPS = {6: (16, 17), 9: (18, 19), 12: (20, 21), 15: (22, 23)}
STEPS = [8, 16, 32, 64]
SIZES = [[10, 16, 24], [32, 48], [64, 96], [128, 192, 256]]
VAR_CENTRE, VAR_SIZE = 0.1, 0.2
NUM_POINTS = 5


class FaceNet(nn.Module):
    def __init__(self):
        super().__init__()
        self.convs = nn.ModuleList()
        self.bns = nn.ModuleList()
        for i, (k, p, s, cin, cout) in enumerate(LAYERS):
            self.convs.append(nn.Conv2d(cin, cout, k, stride=s, padding=p, bias=True))
            if i < TRUNK:
                self.bns.append(nn.BatchNorm2d(cout))

    def forward(self, x):
        """Returns (boxes N x P x 14, scores N x P x 2 logits, map sizes)."""
        boxes, scores, sizes = [], [], []
        for i in range(TRUNK):
            x = F.relu(self.bns[i](self.convs[i](x)))
            if i in MAPS:
                bi, si = MAPS[i]
                b = self.convs[bi](x)
                c = self.convs[si](x)
                n, _, h, w = b.shape
                boxes.append(b.permute(0, 2, 3, 1).reshape(n, -1, 14))
                scores.append(c.permute(0, 2, 3, 1).reshape(n, -1, 2))
                sizes.append((w, h))
            if i in POOL_AFTER:
                x = F.max_pool2d(x, 2, 2)
        return torch.cat(boxes, 1), torch.cat(scores, 1), sizes


def priors(map_sizes, img_w, img_h):
    """Prior boxes (P x 4, xmin ymin xmax ymax normalised) in head order."""
    out = []
    for (w, h), step, sizes in zip(map_sizes, STEPS, SIZES):
        for y in range(h):
            for x in range(w):
                cx, cy = (x + 0.5) * step, (y + 0.5) * step
                for s in sizes:
                    half = s * 0.5
                    out.append(((cx - half) / img_w, (cy - half) / img_h,
                                (cx + half) / img_w, (cy + half) / img_h))
    return np.asarray(out, dtype=np.float32)


def map_sizes_for(w, h):
    """Feature map sizes the network gives for an input of w x h."""
    w, h = (w + 1) // 2, (h + 1) // 2
    w, h = w // 2, h // 2          # pool after layer 1
    w, h = w // 2, h // 2          # pool after layer 3
    out = [(w, h)]
    for _ in range(3):
        w, h = w // 2, h // 2
        out.append((w, h))
    return out


def _centre_form(p):
    return (p[:, 0] + p[:, 2]) / 2, (p[:, 1] + p[:, 3]) / 2, p[:, 2] - p[:, 0], p[:, 3] - p[:, 1]


def encode(gt_boxes, gt_points, pri):
    """Regression targets (M x 14) of boxes/points already assigned to priors (M x 4)."""
    pcx, pcy, pw, ph = _centre_form(pri)
    gcx, gcy, gw, gh = _centre_form(gt_boxes)
    t = [(gcx - pcx) / (VAR_CENTRE * pw), (gcy - pcy) / (VAR_CENTRE * ph),
         torch.log(gw / pw) / VAR_SIZE, torch.log(gh / ph) / VAR_SIZE]
    for j in range(NUM_POINTS):
        t.append((gt_points[:, 2 * j] - pcx) / (VAR_CENTRE * pw))
        t.append((gt_points[:, 2 * j + 1] - pcy) / (VAR_CENTRE * ph))
    return torch.stack(t, 1)


def decode(loc, pri):
    """Inverse of encode, as the program decodes (with clipping of the box)."""
    pcx, pcy, pw, ph = _centre_form(pri)
    cx = loc[:, 0] * VAR_CENTRE * pw + pcx
    cy = loc[:, 1] * VAR_CENTRE * ph + pcy
    w = torch.exp(loc[:, 2] * VAR_SIZE) * pw
    h = torch.exp(loc[:, 3] * VAR_SIZE) * ph
    box = torch.stack([(cx - w / 2).clamp(min=0), (cy - h / 2).clamp(min=0),
                       (cx + w / 2).clamp(max=1), (cy + h / 2).clamp(max=1)], 1)
    pts = []
    for j in range(NUM_POINTS):
        pts.append(loc[:, 4 + 2 * j] * VAR_CENTRE * pw + pcx)
        pts.append(loc[:, 5 + 2 * j] * VAR_CENTRE * ph + pcy)
    return box, torch.stack(pts, 1)


def iou(a, b):
    """Pairwise IoU of boxes a (A x 4) and b (B x 4)."""
    lt = torch.max(a[:, None, :2], b[None, :, :2])
    rb = torch.min(a[:, None, 2:], b[None, :, 2:])
    wh = (rb - lt).clamp(min=0)
    inter = wh[..., 0] * wh[..., 1]
    area_a = (a[:, 2] - a[:, 0]) * (a[:, 3] - a[:, 1])
    area_b = (b[:, 2] - b[:, 0]) * (b[:, 3] - b[:, 1])
    return inter / (area_a[:, None] + area_b[None, :] - inter)


def detect(boxes, scores, pri, conf=0.5, overlap=0.3, keep=100):
    """Float-model detections of one image, as the program selects them:
    softmax, score > conf, stable sort, greedy suppression at overlap."""
    prob = torch.softmax(scores, 1)[:, 1]
    idx = torch.nonzero(prob > conf).flatten()
    if idx.numel() == 0:
        return []
    box, pts = decode(boxes[idx], pri[idx])
    p = prob[idx]
    order = sorted(range(len(idx)), key=lambda i: -float(p[i]))
    kept = []
    for i in order:
        if all(float(iou(box[i:i + 1], box[j:j + 1])) <= overlap for j in kept):
            kept.append(i)
        if len(kept) >= keep:
            break
    return [(float(p[i]), box[i].tolist(), pts[i].tolist()) for i in kept]


def count_params():
    return sum(k * k * cin * cout for k, _, _, cin, cout in LAYERS), sum(l[4] for l in LAYERS)


assert count_params() == (2318176, 2160), count_params()
