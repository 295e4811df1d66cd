#!/usr/bin/python3
"""Checks of the training pipeline (needs the set-up's python3-torch):

    cd tools/facetrain && /usr/bin/python3 -m unittest test_facetrain
"""
import os
import tempfile
import unittest

import numpy as np
import torch

import cv2

import data
import evaluate
import model
import quant
import train


class Geometry(unittest.TestCase):
    def test_priors_and_map_sizes(self):
        net = model.FaceNet().eval()
        for w, h in ((160, 120), (161, 121), (130, 97)):
            with torch.no_grad():
                b, s, sizes = net(torch.zeros(1, 3, h, w))
            self.assertEqual(sizes, model.map_sizes_for(w, h))
            self.assertEqual(b.shape[1], len(model.priors(sizes, w, h)))
            self.assertEqual(s.shape[1], b.shape[1])
        pri = model.priors(model.map_sizes_for(160, 120), 160, 120)
        self.assertEqual(len(pri), 1076)
        # First prior: cell (0, 0) of map 1, size 10, centre (4, 4).
        np.testing.assert_allclose(pri[0], [-1 / 160, -1 / 120, 9 / 160, 9 / 120], rtol=1e-6)
        # Last prior: cell (1, 0) of map 4, size 256, centre (96, 32).
        np.testing.assert_allclose(pri[-1], [-32 / 160, -96 / 120, 224 / 160, 160 / 120], rtol=1e-6)

    def test_encode_decode_round_trip(self):
        pri = torch.tensor([[0.1, 0.1, 0.3, 0.4], [0.5, 0.2, 0.9, 0.8]])
        gt = torch.tensor([[0.12, 0.15, 0.33, 0.41], [0.45, 0.3, 0.85, 0.7]])
        pts = torch.rand(2, 10)
        t = model.encode(gt, pts, pri)
        box, p = model.decode(t, pri)
        torch.testing.assert_close(box, gt)
        torch.testing.assert_close(p, pts)

    def test_match_marks_best_prior_and_ignores(self):
        pri = torch.from_numpy(model.priors(model.map_sizes_for(160, 120), 160, 120))
        gt = pri[500:501].clone()
        lab, tgt = train.match(gt, torch.zeros(1, 10), torch.tensor([False]), pri)
        self.assertEqual(int(lab[500]), 1)
        self.assertTrue(torch.allclose(tgt[500, :4], torch.zeros(4), atol=1e-5))
        lab, _ = train.match(gt, torch.zeros(1, 10), torch.tensor([True]), pri)
        self.assertEqual(int((lab == 1).sum()), 0)
        self.assertEqual(int(lab[500]), -1)


class Quantisation(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        torch.manual_seed(3)
        net = model.FaceNet()
        # Give the batch norms non-trivial statistics.
        net.train()
        with torch.no_grad():
            for _ in range(3):
                net(torch.rand(4, 3, 120, 160) * 255)
        net.eval()
        cls.net = net
        rng = np.random.default_rng(1)
        cls.imgs = [rng.integers(0, 256, (120, 160, 3), dtype=np.uint8) for _ in range(4)]
        cls.x = torch.from_numpy(np.stack(cls.imgs)).permute(0, 3, 1, 2).double()

    def test_fold_and_equalize_keep_the_function(self):
        with torch.no_grad():
            b0, s0, _ = self.net.double()(self.x)
        layers = quant.fold(self.net.state_dict())
        eq = quant.equalize(layers, self.x)
        with torch.no_grad():
            b1, s1, _, acts = quant.float_forward(eq, self.x)
        torch.testing.assert_close(b1, b0)
        torch.testing.assert_close(s1, s0)
        # Typical maximum of each trunk output is brought to about 1.
        for a in acts:
            m = float(np.median(a.amax(dim=(1, 2, 3)).numpy()))
            self.assertTrue(m == 0 or abs(m - 1.0) < 1e-6, m)

    def test_file_round_trip_and_integer_network(self):
        layers = quant.equalize(quant.fold(self.net.state_dict()), self.x)
        q = quant.quantise(layers)
        for wq, _, s in q:
            self.assertEqual(int(np.abs(wq.astype(int)).max()), 127)
            self.assertEqual(s.dtype, np.float32)
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "w.bin")
            quant.write_weights(path, q)
            self.assertEqual(os.path.getsize(path), quant.FILE_SIZE)
            back = quant.read_weights(path)
            with open(path, "r+b") as f:
                f.write(b"XXXX")
            with self.assertRaises(ValueError):
                quant.read_weights(path)
        for (a, b, s), (a2, b2, s2) in zip(q, back):
            np.testing.assert_array_equal(a, a2)
            np.testing.assert_array_equal(b, b2)
            self.assertEqual(s, s2)
        with torch.no_grad():
            bf, sf, _ = self.net.double()(self.x)
        inet = quant.IntNet(back)
        for i, img in enumerate(self.imgs):
            bi, si, _ = inet.run(img)
            ref = np.concatenate([bf[i].numpy(), sf[i].numpy()], 1)
            got = np.concatenate([bi, si], 1)
            err = np.abs(got - ref).max() / np.abs(ref).max()
            self.assertLess(err, 0.05)

    def test_packing_layout(self):
        img = np.arange(5 * 7 * 3, dtype=np.int64).reshape(5, 7, 3) % 251
        p = quant.IntNet.pack(img.astype(np.uint8))
        self.assertEqual(p.shape, (3, 4, 27))
        for y in range(3):
            for x in range(4):
                for dy in (-1, 0, 1):
                    for dx in (-1, 0, 1):
                        yy, xx = 2 * y + dy, 2 * x + dx
                        want = img[yy, xx] if 0 <= yy < 5 and 0 <= xx < 7 else [0, 0, 0]
                        c = (dy + 1) * 9 + (dx + 1) * 3
                        np.testing.assert_array_equal(p[y, x, c:c + 3], want)


class Samples(unittest.TestCase):
    def test_mirror_keeps_left_eye_first(self):
        sm = data.SampleMaker.__new__(data.SampleMaker)
        sm.out_w, sm.out_h = 160, 120
        f = data.Face([20, 30, 40, 40], [30, 45, 50, 44, 40, 55, 32, 62, 48, 63])
        img = np.zeros((120, 160, 3), np.uint8)
        img[:, :10] = 255
        out, faces = sm.mirror(img, [f])
        self.assertEqual(out[0, -1, 0], 255)
        g = faces[0]
        np.testing.assert_allclose(g.box, [100, 30, 40, 40])
        self.assertLess(g.pts[0, 0], g.pts[1, 0])
        self.assertLess(g.pts[3, 0], g.pts[4, 0])
        np.testing.assert_allclose(g.pts[0], [160 - 50, 44])

    def _maker(self, images, weights=None):
        sm = data.SampleMaker.__new__(data.SampleMaker)
        sm.out_w, sm.out_h = 160, 120
        sm.rng = __import__("random").Random(3)
        sm.whole, sm.defocus, sm.symmetric = 0.0, 0.0, 0.0
        sm.bgs = sorted(images)
        sm.cache = {k: data.Pyramid(v) for k, v in images.items()}
        w = weights or {}
        sm.bg_cum = np.cumsum([w.get(b, 1.0) for b in sm.bgs])
        return sm

    def test_symmetric_patches_are_mirror_images(self):
        # One hard-edged patch of a left-to-right ramp at the top left: it
        # reads the same from both sides, and the rest of the picture is
        # untouched.
        class Rng:
            def __init__(self):
                self.rand = iter([0.0, 0.9])      # hard edges, no blur

            def randint(self, a, b):
                return a

            def uniform(self, a, b):
                return (a + b) / 2

            def random(self):
                return next(self.rand)

        ramp = np.tile(np.arange(10, 250, 1.5).astype(np.uint8)[None, :, None], (120, 1, 3))
        sm = self._maker({"r": ramp})
        sm.rng = Rng()
        sm._background = lambda allow_whole: ramp
        out = sm.symmetric_patches(np.zeros((120, 160, 3), np.uint8))
        w = int(0.325 * 160)
        h = int(w * 1.05)
        patch = out[:h, :w].astype(int)
        np.testing.assert_array_equal(patch, patch[:, ::-1])
        np.testing.assert_array_equal(patch[:, :w // 2], ramp[:h, :w // 2])
        self.assertEqual(int(out[h:].max()), 0)
        self.assertEqual(int(out[:, w:].max()), 0)

    def test_mined_backgrounds_are_drawn_more_often(self):
        imgs = {"a": np.zeros((90, 160, 3), np.uint8), "b": np.zeros((90, 160, 3), np.uint8)}
        sm = self._maker(imgs, {"b": 9.0})
        n = sum(sm.pick_background() == "b" for _ in range(2000))
        self.assertGreater(n, 1700)
        self.assertLess(n, 1900)
        sm = self._maker(imgs)
        n = sum(sm.pick_background() == "b" for _ in range(2000))
        self.assertGreater(n, 900)
        self.assertLess(n, 1100)

    def test_whole_background_shows_the_whole_photo(self):
        # A wide photo with a bright left and a dark right half: seen whole,
        # both halves are in the frame; the rows it does not cover are filled.
        wide = np.zeros((180, 640, 3), np.uint8)
        wide[:, :320] = 200
        sm = self._maker({"w": wide})
        sm.background = lambda allow_whole=True: np.full((120, 160, 3), 100, np.uint8)
        for _ in range(10):
            out = sm.whole_background()[:, :, 0]
            self.assertEqual(out.shape, (120, 160))
            bright, dark = (out > 150).sum(), (out < 50).sum()
            fill = (abs(out.astype(int) - 100) < 5).sum()
            self.assertGreater(min(bright, dark), 0.5 * max(bright, dark))
            self.assertGreater(bright, 0.7 * 80 * 45)
            self.assertGreater(fill, 160 * 120 * 0.4)


class Loss(unittest.TestCase):
    def test_background_weight_scales_only_the_background_term(self):
        torch.manual_seed(0)
        pri = torch.from_numpy(model.priors(model.map_sizes_for(160, 120), 160, 120))
        n = pri.shape[0]
        boxes, scores = torch.randn(2, n, 14), torch.randn(2, n, 2)
        empty = (np.zeros((0, 4), np.float32), np.zeros((0, 10), np.float32), np.zeros(0, bool))
        face = (np.array([[0.3, 0.2, 0.7, 0.8]], np.float32), np.full((1, 10), 0.5, np.float32),
                np.zeros(1, bool))
        _, _, c1 = train.multibox_loss(boxes, scores, [empty, empty], pri, 1.0, 12)
        _, _, c2 = train.multibox_loss(boxes, scores, [empty, empty], pri, 2.0, 12)
        self.assertAlmostEqual(float(c2), 2 * float(c1), places=4)
        _, _, c3 = train.multibox_loss(boxes, scores, [empty, empty], pri, 1.0, 48)
        self.assertGreater(float(c3), float(c1))
        l1, _, f1 = train.multibox_loss(boxes, scores, [face, empty], pri, 1.0, 12)
        l2, _, f2 = train.multibox_loss(boxes, scores, [face, empty], pri, 2.0, 12)
        self.assertEqual(float(l1), float(l2))
        self.assertLess(float(f2), 2 * float(f1))
        self.assertGreater(float(f2), float(f1))


class Evaluation(unittest.TestCase):
    def test_counts_faces_and_false_faces_as_the_engine_sees_them(self):
        # A 1280 x 960 picture (half size at width 640) with a 300-pixel face,
        # and a face-free one. The fake detector, on the quarter of the
        # width-640 copy (160 x 120), finds the face, a small false face (60
        # px at 640) and, on the face-free picture, a big one (120 px).
        with tempfile.TemporaryDirectory() as tmp:
            face_pic, empty_pic = os.path.join(tmp, "f.png"), os.path.join(tmp, "e.png")
            cv2.imwrite(face_pic, np.zeros((960, 1280, 3), np.uint8))
            cv2.imwrite(empty_pic, np.zeros((480, 640, 3), np.uint8))
            pts = np.array([[440, 400], [640, 400], [540, 480], [460, 560], [620, 560]], np.float32)
            items = [(face_pic, [data.Face([390, 300, 300, 300], pts)]), (empty_pic, [])]
            # At width 640 the face is (195, 150)-(345, 300), its eyes at
            # (220, 200) and (320, 200).
            eye = [220 / 640, 200 / 480, 320 / 640, 200 / 480] + [0.5] * 6

            def detector(small):
                self.assertEqual(small.shape[:2], (120, 160))
                if detector.calls == 0:
                    detector.calls += 1
                    return [(0.99, [195 / 640, 150 / 480, 345 / 640, 300 / 480], eye),
                            (0.6, [0.0, 0.0, 15 / 160, 15 / 120], [0.0] * 10)]
                return [(0.97, [0.1, 0.1, 0.1 + 30 / 160, 0.1 + 30 / 120], [0.0] * 10)]
            detector.calls = 0
            r = evaluate.evaluate(detector, items)
        self.assertEqual((r["pictures"], r["faces"]), (2, 1))
        self.assertEqual((r["recall"], r["recall_engine"]), (1.0, 1.0))
        self.assertEqual(r["false_per_100"], 100.0)          # two false faces on two pictures
        self.assertEqual(r["false_engine_per_100"], 50.0)    # only the big one is that sure
        self.assertEqual(r["false_100px_per_100"], 50.0)     # and wide enough for the engine
        self.assertLess(r["eye_median"], 1e-6)


if __name__ == "__main__":
    unittest.main()
