"""Training samples for the face detector, made on the fly.

Each sample is a small BGR picture (by default 160 x 120, what the engine gives
the detector: a quarter of a 640 x 480 frame) with face boxes and five points in
pixels.  Three kinds:
  * scene: a labelled photo warped so that one of its faces lands at a random
    size, place and tilt; the area outside the photo is a face-free photo;
  * paste: 1 to 3 face crops blended onto a face-free photo at random sizes;
  * empty: a face-free photo alone.
Then lighting, colour, blur, noise, JPEG and resolution changes, and mirroring
(the point order is swapped so that point 0 stays the eye on the image's left).
"""
import math
import os
import random

import cv2
import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
OUT_W, OUT_H = 160, 120
MIN_FACE = 9          # boxes narrower than this (pixels) are neither faces nor background


class Face:
    __slots__ = ("box", "pts")

    def __init__(self, box, pts):
        self.box = np.asarray(box, np.float32)      # x y w h
        self.pts = np.asarray(pts, np.float32).reshape(5, 2)


def read_labels(split, cache):
    """{rel: (person, [Face])} of one split ('train' or 'test')."""
    pics = {}
    with open(os.path.join(HERE, "labels", "faces.txt")) as f:
        for line in f:
            if line.startswith("#"):
                continue
            p = line.split()
            if p[2] != split:
                continue
            rel, person = p[0], p[1]
            entry = pics.setdefault(rel, (person, []))
            if p[3] != "none":
                v = [float(t) for t in p[4:]]
                entry[1].append(Face(v[0:4], v[4:14]))
    return pics


def read_backgrounds(split="train"):
    """Face-free photos; every sixth one is kept for the evaluation."""
    with open(os.path.join(HERE, "labels", "backgrounds.txt")) as f:
        bgs = [l.strip() for l in f if l.strip() and not l.startswith("#")]
    return [b for i, b in enumerate(bgs) if (i % 6 == 5) == (split == "test")]


class Pyramid:
    """An image with lazily built half-size copies, so that strong shrinking
    averages pixels the way the engine's area resize does."""

    def __init__(self, img):
        self.levels = [img]

    def level_for(self, scale):
        """(image, scale of that level relative to the original) such that the
        remaining scale is at least 0.5."""
        k = 0
        while scale * (2 ** k) < 0.5 and min(self.levels[k].shape[:2]) > 16:
            k += 1
            if len(self.levels) <= k:
                self.levels.append(cv2.pyrDown(self.levels[-1]))
        return self.levels[k], 1.0 / (2 ** k)


def load(path):
    img = cv2.imread(path, cv2.IMREAD_COLOR)
    if img is None:
        raise IOError(path)
    return img


class SampleMaker:
    def __init__(self, cache, split="train", out_w=OUT_W, out_h=OUT_H, seed=None,
                 bg_weights=None, mix=(0.55, 0.8), whole=0.0, defocus=0.0, symmetric=0.0):
        """bg_weights: {background: relative weight} (hard-negative mining);
        mix: thresholds of scene / paste / empty; whole: share of background
        windows that show the whole photo, as the engine sees a picture;
        defocus: share of backgrounds blurred strongly (out-of-focus blobs of
        colour are not faces); symmetric: share of backgrounds with mirror-
        symmetric patches (badges, emblems and ornaments are not faces)."""
        self.rng = random.Random(seed)
        self.mix, self.whole, self.defocus, self.symmetric = mix, whole, defocus, symmetric
        self.out_w, self.out_h = out_w, out_h
        self.src = os.path.join(cache, "src")
        pics = read_labels(split, cache)
        self.pics = {}
        by_person = {}
        for rel, (person, faces) in pics.items():
            if faces:
                self.pics[rel] = faces
                by_person.setdefault(person, []).append(rel)
        self.people = sorted(by_person)
        self.by_person = by_person
        self.faces = [(rel, i) for rel in sorted(self.pics) for i in range(len(self.pics[rel]))]
        self.bgs = read_backgrounds("train")
        w = bg_weights or {}
        self.bg_cum = np.cumsum([w.get(b, 1.0) for b in self.bgs])
        self.cache = {}

    # -- images ---------------------------------------------------------------
    def image(self, rel, background=False):
        if rel not in self.cache:
            img = load(os.path.join(self.src, rel))
            while background and max(img.shape[:2]) > 1600:
                img = cv2.pyrDown(img)
            self.cache[rel] = Pyramid(img)
        return self.cache[rel]

    def pick_picture(self):
        # People first, so that the long clips of one person do not dominate.
        person = self.rng.choice(self.people)
        return self.rng.choice(self.by_person[person])

    def pick_background(self):
        i = int(np.searchsorted(self.bg_cum, self.rng.uniform(0, self.bg_cum[-1]), side="right"))
        return self.bgs[min(i, len(self.bgs) - 1)]

    def whole_background(self):
        """The whole photo at (about) full output width, as the engine sees a
        picture; the rest of the frame is a window of another photo."""
        r = self.rng
        pyr = self.image(self.pick_background(), background=True)
        h0, w0 = pyr.levels[0].shape[:2]
        scale = self.out_w / w0 * r.uniform(0.85, 1.15)
        img, lvl = pyr.level_for(scale)
        s = scale / lvl
        tx = (self.out_w - w0 * scale) / 2 + r.uniform(-0.1, 0.1) * self.out_w
        ty = r.uniform(min(0.0, self.out_h - h0 * scale), max(0.0, self.out_h - h0 * scale))
        m = np.array([[s, 0, tx], [0, s, ty]], np.float32)
        warped = cv2.warpAffine(img, m, (self.out_w, self.out_h), flags=cv2.INTER_LINEAR,
                                borderMode=cv2.BORDER_CONSTANT)
        a = _inside(m, img.shape[1], img.shape[0], self.out_w, self.out_h)[..., None]
        if a.min() < 1:
            fill = self.background(allow_whole=False)
            warped = (warped * a + fill * (1 - a)).astype(np.uint8)
        if r.random() < 0.5:
            warped = warped[:, ::-1]
        return np.ascontiguousarray(warped)

    def background(self, allow_whole=True):
        r = self.rng
        out = self._background(allow_whole)
        if r.random() < self.defocus:
            if r.random() < 0.5:
                out = self.blobs(out)
            out = cv2.GaussianBlur(out, (0, 0), r.uniform(1.5, 5.0))
        if r.random() < self.symmetric:
            out = self.symmetric_patches(out)
        return out

    def symmetric_patches(self, img):
        """One to three patches of another photo made mirror-symmetric (its
        left half and that half mirrored), pasted with hard or soft edges:
        symmetry alone, as in a badge or an ornament, does not make a face."""
        r = self.rng
        out = img.astype(np.float32)
        for _ in range(r.randint(1, 3)):
            w = max(6, int(r.uniform(0.05, 0.6) * self.out_w))
            h = max(6, min(self.out_h, int(w * r.uniform(0.7, 1.4))))
            src = self._background(False)
            x0, y0 = r.randint(0, self.out_w - w), r.randint(0, self.out_h - h)
            patch = src[y0:y0 + h, x0:x0 + w].astype(np.float32)
            half = (w + 1) // 2
            patch[:, w - half:] = patch[:, :half][:, ::-1]
            mask = np.zeros((h, w), np.float32)
            if r.random() < 0.5:
                mask[:] = 1.0
            else:
                cv2.ellipse(mask, (w // 2, h // 2), (max(1, w // 2), max(1, h // 2)), 0, 0, 360, 1.0, -1)
            if r.random() < 0.5:
                mask = cv2.GaussianBlur(mask, (0, 0), max(0.8, w * 0.06))
            mask = mask[..., None]
            x, y = r.randint(0, self.out_w - w), r.randint(0, self.out_h - h)
            out[y:y + h, x:x + w] = patch * mask + out[y:y + h, x:x + w] * (1 - mask)
        return np.clip(out, 0, 255).astype(np.uint8)

    def blobs(self, img):
        """Soft blobs of colour, often skin-like, as out-of-focus flowers,
        leaves or lamps look; big ones too, the size of a near face."""
        r = self.rng
        out = img.astype(np.float32)
        for _ in range(r.randint(1, 3)):
            mask = np.zeros((self.out_h, self.out_w), np.float32)
            w = r.uniform(0.15, 0.9) * self.out_w
            h = w * r.uniform(0.6, 1.6)
            cx, cy = r.uniform(0, self.out_w), r.uniform(0, self.out_h)
            cv2.ellipse(mask, (int(cx), int(cy)), (max(1, int(w / 2)), max(1, int(h / 2))),
                        r.uniform(0, 180), 0, 360, 1.0, -1)
            mask = cv2.GaussianBlur(mask, (0, 0), max(1.0, w * r.uniform(0.05, 0.2)))[..., None]
            if r.random() < 0.6:
                b, g, rd = r.uniform(10, 140), r.uniform(70, 190), r.uniform(150, 255)
            else:
                b, g, rd = r.uniform(0, 255), r.uniform(0, 255), r.uniform(0, 255)
            out = out * (1 - mask) + np.array([b, g, rd], np.float32) * mask
        return np.clip(out, 0, 255).astype(np.uint8)

    def _background(self, allow_whole):
        r = self.rng
        if allow_whole and r.random() < self.whole:
            return self.whole_background()
        pyr = self.image(self.pick_background(), background=True)
        h0, w0 = pyr.levels[0].shape[:2]
        # A random window of the photo, from a small patch to the whole of it.
        frac = math.exp(r.uniform(math.log(0.08), 0.0))
        cw = max(8, int(w0 * frac))
        ch = max(8, int(cw * self.out_h / self.out_w))
        if ch > h0:
            ch = h0
            cw = max(8, int(ch * self.out_w / self.out_h))
        x0, y0 = r.randint(0, max(0, w0 - cw)), r.randint(0, max(0, h0 - ch))
        scale = self.out_w / cw
        img, lvl = pyr.level_for(scale)
        s = scale / lvl
        m = np.array([[s, 0, -x0 * lvl * s], [0, s, -y0 * lvl * s]], np.float32)
        out = cv2.warpAffine(img, m, (self.out_w, self.out_h), flags=cv2.INTER_LINEAR,
                             borderMode=cv2.BORDER_REFLECT)
        if r.random() < 0.5:
            out = out[:, ::-1]
        if r.random() < 0.3:
            out = np.ascontiguousarray(out[::-1]) if r.random() < 0.3 else out
        return np.ascontiguousarray(out)

    # -- geometry -------------------------------------------------------------
    @staticmethod
    def _transform(faces, m, s):
        out = []
        for f in faces:
            c = np.array([f.box[0] + f.box[2] / 2, f.box[1] + f.box[3] / 2, 1.0], np.float32)
            cx, cy = m @ c
            w, h = f.box[2] * s, f.box[3] * s
            pts = np.hstack([f.pts, np.ones((5, 1), np.float32)]) @ m.T
            out.append(Face([cx - w / 2, cy - h / 2, w, h], pts))
        return out

    def _affine(self, face, target_w, angle):
        """Matrix that maps the face to width target_w at a random place."""
        r = self.rng
        s = target_w / face.box[2]
        fw, fh = target_w, face.box[3] * s
        # Keep most of the face in the frame; big faces may be cut a little.
        slack_x = max(0.0, self.out_w - fw) + 0.2 * fw
        slack_y = max(0.0, self.out_h - fh) + 0.2 * fh
        tx = -0.1 * fw + r.uniform(0, slack_x) + fw / 2
        ty = -0.1 * fh + r.uniform(0, slack_y) + fh / 2
        cx, cy = face.box[0] + face.box[2] / 2, face.box[1] + face.box[3] / 2
        m = cv2.getRotationMatrix2D((float(cx), float(cy)), angle, float(s))
        m[0, 2] += tx - cx
        m[1, 2] += ty - cy
        return m.astype(np.float32), s

    def _face_width(self):
        r = self.rng.random()
        if r < 0.6:                       # the webcam case: 25 % to 80 % of the width
            return self.rng.uniform(0.22, 0.85) * self.out_w
        return math.exp(self.rng.uniform(math.log(12), math.log(150)))

    # -- the three kinds ------------------------------------------------------
    def scene(self):
        r = self.rng
        rel = self.pick_picture()
        faces = self.pics[rel]
        face = faces[r.randrange(len(faces))]
        angle = r.gauss(0, 7)
        m, s = self._affine(face, self._face_width(), angle)
        pyr = self.image(rel)
        img, lvl = pyr.level_for(s)
        ml = m.copy()
        ml[:, :2] /= lvl
        out = self.background()
        h, w = img.shape[:2]
        warped = cv2.warpAffine(img, ml, (self.out_w, self.out_h), flags=cv2.INTER_LINEAR,
                                borderMode=cv2.BORDER_CONSTANT)
        a = _inside(ml, w, h, self.out_w, self.out_h)[..., None]
        out = (warped * a + out * (1 - a)).astype(np.uint8)
        return out, self._transform(faces, m, s)

    def paste(self):
        r = self.rng
        out = self.background().astype(np.float32)
        placed = []
        for _ in range(r.choice((1, 1, 1, 2, 3))):
            rel, i = self.faces[r.randrange(len(self.faces))]
            if self.pics is None:
                continue
            faces = self.pics[rel]
            face = faces[i]
            tw = self._face_width() if not placed else math.exp(r.uniform(math.log(12), math.log(90)))
            m, s = self._affine(face, tw, r.gauss(0, 7))
            mine = self._transform([face], m, s)[0]
            if any(_overlap(mine.box, p.box) > 0.05 for p in placed):
                continue
            pyr = self.image(rel)
            img, lvl = pyr.level_for(s)
            ml = m.copy()
            ml[:, :2] /= lvl
            warped = cv2.warpAffine(img, ml, (self.out_w, self.out_h), flags=cv2.INTER_LINEAR,
                                    borderMode=cv2.BORDER_REPLICATE).astype(np.float32)
            # Soft ellipse around the head: a bit wider and taller than the box.
            bx, by, bw, bh = mine.box
            mask = np.zeros((self.out_h, self.out_w), np.float32)
            cx, cy = bx + bw / 2, by + bh * r.uniform(0.4, 0.5)
            ax, ay = bw * r.uniform(0.6, 0.85), bh * r.uniform(0.75, 1.0)
            cv2.ellipse(mask, (int(cx * 4), int(cy * 4)), (max(1, int(ax * 4)), max(1, int(ay * 4))),
                        0, 0, 360, 1.0, -1, cv2.LINE_AA, 2)
            k = max(1, int(bw * 0.15)) | 1
            mask = cv2.GaussianBlur(mask, (k, k), 0)[..., None]
            warped = warped * r.uniform(0.7, 1.3) + r.uniform(-25, 25)
            out = warped * mask + out * (1 - mask)
            # Other labelled faces of that photo may show inside the ellipse: skip such crops.
            placed.append(mine)
        return np.clip(out, 0, 255).astype(np.uint8), placed

    def empty(self):
        return self.background(), []

    # -- photometric ----------------------------------------------------------
    def photometric(self, img):
        r = self.rng
        x = img.astype(np.float32)
        if r.random() < 0.1:
            g = cv2.cvtColor(img, cv2.COLOR_BGR2GRAY).astype(np.float32)
            x = np.repeat(g[..., None], 3, 2)
        x = x * np.array([r.uniform(0.8, 1.2) for _ in range(3)], np.float32)
        x = x * r.uniform(0.45, 1.5) + r.uniform(-45, 45)
        if r.random() < 0.3:
            g = r.uniform(0.6, 1.6)
            x = 255.0 * (np.clip(x, 0, 255) / 255.0) ** g
        if r.random() < 0.2:
            # Light from one side.
            ramp = np.linspace(r.uniform(0.4, 1.0), r.uniform(1.0, 1.5), self.out_w, dtype=np.float32)
            x = x * (ramp[None, :, None] if r.random() < 0.5 else ramp[None, ::-1, None])
        x = np.clip(x, 0, 255)
        if r.random() < 0.3:
            x = cv2.GaussianBlur(x, (0, 0), r.uniform(0.3, 1.3))
        elif r.random() < 0.1:
            k = r.choice((3, 5))
            kern = np.zeros((k, k), np.float32)
            if r.random() < 0.5:
                kern[k // 2, :] = 1.0 / k
            else:
                kern[:, k // 2] = 1.0 / k
            x = cv2.filter2D(x, -1, kern)
        if r.random() < 0.15:
            f = r.uniform(0.4, 0.8)
            small = cv2.resize(x, None, fx=f, fy=f, interpolation=cv2.INTER_AREA)
            x = cv2.resize(small, (self.out_w, self.out_h), interpolation=cv2.INTER_LINEAR)
        if r.random() < 0.35:
            x = x + np.random.default_rng(r.randrange(1 << 30)).normal(0, r.uniform(1, 8), x.shape)
        x = np.clip(x, 0, 255).astype(np.uint8)
        if r.random() < 0.3:
            ok, buf = cv2.imencode(".jpg", x, [cv2.IMWRITE_JPEG_QUALITY, r.randint(25, 90)])
            x = cv2.imdecode(buf, cv2.IMREAD_COLOR)
        return x

    def mirror(self, img, faces):
        img = np.ascontiguousarray(img[:, ::-1])
        out = []
        for f in faces:
            x, y, w, h = f.box
            p = f.pts.copy()
            p[:, 0] = self.out_w - p[:, 0]
            p = p[[1, 0, 2, 4, 3]]
            out.append(Face([self.out_w - x - w, y, w, h], p))
        return img, out

    def sample(self):
        """(BGR uint8 image, faces N x 4 xyxy normalised, points N x 10 normalised,
        ignore N bool)."""
        k = self.rng.random()
        img, faces = (self.scene() if k < self.mix[0] else self.paste() if k < self.mix[1]
                      else self.empty())
        img = self.photometric(img)
        if self.rng.random() < 0.5:
            img, faces = self.mirror(img, faces)
        boxes, pts, ignore = [], [], []
        for f in faces:
            x, y, w, h = f.box
            vis = _visible(f.box, self.out_w, self.out_h)
            if vis <= 0.2:
                continue
            boxes.append([x / self.out_w, y / self.out_h, (x + w) / self.out_w, (y + h) / self.out_h])
            pts.append((f.pts / np.array([self.out_w, self.out_h], np.float32)).reshape(-1))
            ignore.append(w < MIN_FACE or vis < 0.7)
        return (img, np.asarray(boxes, np.float32).reshape(-1, 4),
                np.asarray(pts, np.float32).reshape(-1, 10), np.asarray(ignore, bool))


def _overlap(a, b):
    ix = max(0.0, min(a[0] + a[2], b[0] + b[2]) - max(a[0], b[0]))
    iy = max(0.0, min(a[1] + a[3], b[1] + b[3]) - max(a[1], b[1]))
    return ix * iy / max(1e-6, min(a[2] * a[3], b[2] * b[3]))


def _visible(box, w, h):
    x, y, bw, bh = box
    ix = max(0.0, min(x + bw, w) - max(x, 0))
    iy = max(0.0, min(y + bh, h) - max(y, 0))
    return ix * iy / max(1e-6, bw * bh)


def _inside(m, w, h, out_w, out_h):
    """1 where output pixel maps inside the w x h source under the affine m."""
    inv = cv2.invertAffineTransform(m)
    ys, xs = np.mgrid[0:out_h, 0:out_w].astype(np.float32)
    sx = inv[0, 0] * xs + inv[0, 1] * ys + inv[0, 2]
    sy = inv[1, 0] * xs + inv[1, 1] * ys + inv[1, 2]
    return ((sx >= -0.5) & (sx <= w - 0.5) & (sy >= -0.5) & (sy <= h - 0.5)).astype(np.float32)
