"""From a trained FaceNet to the program's weight file, and back.

* fold():      batch norm folded into the convolutions (float layers).
* equalize():  per-channel rescaling between a layer and the layers that read
               it (ReLU commutes with positive scaling, max pooling too), so
               that one int8 scale per layer fits every filter; then each
               trunk layer's output is scaled so that its typical maximum is
               about 1, which keeps the integer that stands for 1.0 in the
               next layer's input large (its rounding scales the biases).
* quantise():  int8 weights, int32 biases, one float scale per layer.
* write_weights() / read_weights(): the weight file (little-endian):
      "LFDW", uint32 version 1, uint32 24, 24 float32 scales, then per layer
      the int8 weights (f, ch, r, c order) and the int32 biases.
* IntNet:      the program's integer arithmetic re-done in numpy (input
               packing, int32 accumulation, ReLU requantisation to uint8 with
               the tensor maximum, pooling, heads to float), to check a file
               before the C++ detector sees it.
"""
import struct

import numpy as np
import torch
import torch.nn.functional as F

import model

MAGIC = b"LFDW"
VERSION = 1
FILE_SIZE = 2326924
F32 = np.float32


def fold(state):
    """[(W, b)] float64 per layer from a FaceNet state dict (batch norm folded)."""
    layers = []
    for i in range(len(model.LAYERS)):
        w = state["convs.%d.weight" % i].double().numpy()
        b = state["convs.%d.bias" % i].double().numpy()
        if i < model.TRUNK:
            g = state["bns.%d.weight" % i].double().numpy()
            beta = state["bns.%d.bias" % i].double().numpy()
            mean = state["bns.%d.running_mean" % i].double().numpy()
            var = state["bns.%d.running_var" % i].double().numpy()
            k = g / np.sqrt(var + 1e-5)
            w = w * k[:, None, None, None]
            b = (b - mean) * k + beta
        layers.append([w.copy(), b.copy()])
    return layers


def consumers(i):
    """Layers that read trunk layer i's output."""
    out = [i + 1] if i + 1 < model.TRUNK else []
    if i in model.MAPS:
        out += list(model.MAPS[i])
    return out


def float_forward(layers, x):
    """Float network over folded layers; x: N x 3 x H x W torch float64.
    Returns (boxes, scores, map sizes, per-trunk-layer activations)."""
    boxes, scores, sizes, acts = [], [], [], []
    for i in range(model.TRUNK):
        k, p, s, _, _ = model.LAYERS[i]
        w, b = layers[i]
        x = F.relu(F.conv2d(x, torch.from_numpy(w), torch.from_numpy(b), stride=s, padding=p))
        acts.append(x)
        if i in model.MAPS:
            bi, si = model.MAPS[i]
            hb = F.conv2d(x, torch.from_numpy(layers[bi][0]), torch.from_numpy(layers[bi][1]), padding=1)
            hs = F.conv2d(x, torch.from_numpy(layers[si][0]), torch.from_numpy(layers[si][1]), padding=1)
            n, _, h, wd = hb.shape
            boxes.append(hb.permute(0, 2, 3, 1).reshape(n, -1, 14))
            scores.append(hs.permute(0, 2, 3, 1).reshape(n, -1, 2))
            sizes.append((wd, h))
        if i in model.POOL_AFTER:
            x = F.max_pool2d(x, 2, 2)
    return torch.cat(boxes, 1), torch.cat(scores, 1), sizes, acts


def _scale_channel_out(layers, i, s):
    """Output channels of trunk layer i divided by s (vector); readers compensate."""
    layers[i][0] /= s[:, None, None, None]
    layers[i][1] /= s
    for j in consumers(i):
        layers[j][0] *= s[None, :, None, None]


def equalize(layers, calib, rounds=8, target_max=1.0):
    """calib: N x 3 x H x W float64 tensor of sample pictures."""
    layers = [[w.copy(), b.copy()] for w, b in layers]
    for _ in range(rounds):
        for i in range(model.TRUNK):
            r1 = np.abs(layers[i][0]).max(axis=(1, 2, 3))
            r1 = r1 / r1.max()
            r2 = np.zeros_like(r1)
            for j in consumers(i):
                wj = np.abs(layers[j][0]).max(axis=(0, 2, 3))
                r2 = np.maximum(r2, wj / max(1e-12, np.abs(layers[j][0]).max()))
            s = np.sqrt(np.maximum(r1, 1e-8) / np.maximum(r2, 1e-8))
            s = np.clip(s, 1e-3, 1e3)
            _scale_channel_out(layers, i, s)
    # Typical (median over pictures) maximum of each trunk layer's output to
    # target_max.  Scaling one layer's output leaves every other layer's output
    # as it was, so one pass gives all the factors.
    with torch.no_grad():
        _, _, _, acts = float_forward(layers, calib)
    for i in range(model.TRUNK):
        m = float(np.median(acts[i].amax(dim=(1, 2, 3)).numpy()))
        if m > 0:
            _scale_channel_out(layers, i, np.full(layers[i][1].shape, m / target_max))
    return layers


def quantise(layers):
    """[(int8 weights, int32 biases, float32 scale)] per layer."""
    out = []
    for w, b in layers:
        scale = F32(127.0 / max(1e-12, np.abs(w).max()))
        wq = np.clip(np.round(w * float(scale)), -128, 127).astype(np.int8)
        bq = np.clip(np.round(b * float(scale)), -2**31, 2**31 - 1).astype(np.int32)
        out.append((wq, bq, scale))
    return out


def write_weights(path, q):
    with open(path, "wb") as f:
        f.write(MAGIC + struct.pack("<II", VERSION, len(q)))
        f.write(np.asarray([s for _, _, s in q], "<f4").tobytes())
        for (wq, bq, _), (k, _, _, cin, cout) in zip(q, model.LAYERS):
            assert wq.shape == (cout, cin, k, k) and bq.shape == (cout,)
            f.write(wq.astype(np.int8).tobytes())
            f.write(bq.astype("<i4").tobytes())
    with open(path, "rb") as f:
        assert len(f.read()) == FILE_SIZE


def read_weights(path):
    with open(path, "rb") as f:
        buf = f.read()
    if len(buf) != FILE_SIZE or buf[:4] != MAGIC:
        raise ValueError("not a face weight file: " + path)
    version, n = struct.unpack_from("<II", buf, 4)
    if version != VERSION or n != len(model.LAYERS):
        raise ValueError("unsupported weight file version")
    scales = np.frombuffer(buf, "<f4", n, 12)
    pos = 12 + 4 * n
    q = []
    for (k, _, _, cin, cout), s in zip(model.LAYERS, scales):
        wq = np.frombuffer(buf, np.int8, cout * cin * k * k, pos).reshape(cout, cin, k, k)
        pos += wq.size
        bq = np.frombuffer(buf, "<i4", cout, pos).astype(np.int32)
        pos += 4 * cout
        q.append((wq, bq, F32(s)))
    return q


def _roundf(x):
    """C roundf for float32 values (halves away from zero)."""
    x = np.asarray(x, F32)
    return np.sign(x) * np.floor(np.abs(x) + F32(0.5))


class IntNet:
    """The program's integer network, for one image at a time."""

    def __init__(self, q):
        self.q = q

    @staticmethod
    def pack(img):
        """H x W x 3 uint8 -> ceil(H/2) x ceil(W/2) x 27 (the 3 x 3 neighbourhoods)."""
        h, w, _ = img.shape
        ph, pw = (h + 1) // 2, (w + 1) // 2
        pad = np.zeros((h + 2, w + 2, 3), np.int64)
        pad[1:-1, 1:-1] = img
        out = np.zeros((ph, pw, 27), np.int64)
        for dy in range(3):
            for dx in range(3):
                out[:, :, dy * 9 + dx * 3:dy * 9 + dx * 3 + 3] = pad[dy:dy + 2 * ph:2, dx:dx + 2 * pw:2]
        return out

    @staticmethod
    def conv(x, wq, bq, in_bias, k, stride):
        """x: H x W x C int64 (uint8 values); int32 result with biases x in_bias."""
        h, w, c = x.shape
        wq = wq.astype(np.int64)
        if k == 1:
            out = x.reshape(-1, c) @ wq.reshape(wq.shape[0], c).T
            out = out.reshape(h, w, -1)
        else:
            oh, ow = (h - 1) // stride + 1, (w - 1) // stride + 1
            pad = np.zeros((h + 2, w + 2, c), np.int64)
            pad[1:-1, 1:-1] = x
            out = np.zeros((oh, ow, wq.shape[0]), np.int64)
            for r in range(3):
                for cc in range(3):
                    patch = pad[r:r + stride * (oh - 1) + 1:stride, cc:cc + stride * (ow - 1) + 1:stride]
                    out += patch.reshape(-1, c).dot(wq[:, :, r, cc].T).reshape(oh, ow, -1)
        out = out + bq.astype(np.int64)[None, None, :] * in_bias
        assert np.abs(out).max(initial=0) < 2**31
        return out

    def run(self, img):
        """img: H x W x 3 uint8 BGR. Returns (boxes P x 14, scores P x 2 logits, map sizes)."""
        x = self.pack(img)
        scale, bias = F32(1.0), 1
        boxes, scores, sizes = [], [], []
        for i in range(model.TRUNK):
            wq, bq, ls = self.q[i]
            k = model.LAYERS[i][0]
            if i == 0:
                acc = x.reshape(-1, 27) @ wq.astype(np.int64).transpose(0, 2, 3, 1).reshape(32, 27).T
                acc = acc.reshape(x.shape[0], x.shape[1], 32) + bq.astype(np.int64) * bias
            else:
                acc = self.conv(x, wq, bq, bias, k, 1)
            s_int = F32(scale * ls)
            b_int = int(_roundf(s_int))
            acc = np.maximum(acc, 0)
            m = int(acc.max(initial=0))
            if m == 0:
                x = np.zeros_like(acc)
                scale, bias = s_int, b_int
            else:
                factor = F32(F32(255.0) / F32(m))
                scale = F32(s_int * factor)
                bias = int(_roundf(F32(F32(b_int) * factor)))
                x = (acc.astype(F32) * factor + F32(0.499)).astype(np.int64)
            if i in model.MAPS:
                for hi, store, width in ((model.MAPS[i][0], boxes, 14), (model.MAPS[i][1], scores, 2)):
                    hw, hb, hs = self.q[hi]
                    out = self.conv(x, hw, hb, bias, 3, 1)
                    sc = F32(scale * hs)
                    inv = F32(F32(1.0) / sc)
                    store.append((out.astype(F32) * inv).reshape(-1, width))
                sizes.append((x.shape[1], x.shape[0]))
            if i in model.POOL_AFTER:
                h, w = x.shape[0] // 2, x.shape[1] // 2
                x = x[:2 * h, :2 * w].reshape(h, 2, w, 2, -1).max(axis=(1, 3))
        return np.concatenate(boxes), np.concatenate(scores), sizes
