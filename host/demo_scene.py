#!/usr/bin/env python3
"""Writes a generated landscape clip, clean and with Gaussian noise, as YUV4MPEG2 4:2:2.

The scene is a camera pan over sky, drifting clouds, far mountains, nearer hills and
a meadow, each layer moving at its own speed (parallax), so a motion-compensated
filter has real motion to follow. Everything is generated from fixed seeds: the
same command gives the same bytes.

usage: demo_scene.py CLEAN.y4m NOISY.y4m [--frames N] [--sigma S] [--size WxH] [--seed N]
"""
import argparse
import sys

import numpy as np


def value_noise(h, w, cell, rng):
    """Smooth random field in [0, 1): random values on a grid of `cell` pixels, smoothstep-interpolated."""
    gh, gw = h // cell + 2, w // cell + 2
    grid = rng.random((gh, gw))
    ys = np.arange(h) / cell
    xs = np.arange(w) / cell
    y0, x0 = ys.astype(int), xs.astype(int)
    ty, tx = ys - y0, xs - x0
    ty = ty * ty * (3 - 2 * ty)
    tx = tx * tx * (3 - 2 * tx)
    a = grid[y0][:, x0]
    b = grid[y0][:, x0 + 1]
    c = grid[y0 + 1][:, x0]
    d = grid[y0 + 1][:, x0 + 1]
    top = a + (b - a) * tx
    bottom = c + (d - c) * tx
    return top + (bottom - top) * ty[:, None]


def fbm(h, w, cell, octaves, rng, gain=0.5):
    """Fractal sum of value-noise octaves, normalised to [0, 1]."""
    total = np.zeros((h, w))
    amplitude, norm = 1.0, 0.0
    for _ in range(octaves):
        total += amplitude * value_noise(h, w, max(cell, 1), rng)
        norm += amplitude
        amplitude *= gain
        cell = max(cell // 2, 1)
    return total / norm


def ridge(w, cell, octaves, rng):
    """A 1-D fractal profile in [0, 1] (a mountain skyline)."""
    return fbm(1, w, cell, octaves, rng)[0]


def mix(a, b, t):
    t = t[..., None]
    return a * (1 - t) + b * t


class Scene:
    """Panorama layers, each wider than the picture by what its pan needs."""

    def __init__(self, width, height, frames, seed):
        self.w, self.h = width, height
        rng = np.random.default_rng(seed)
        self.speeds = {"clouds": 1, "mountains": 1, "hills": 3, "meadow": 6}
        horizon = int(height * 0.48)
        rows = np.arange(height)[:, None]

        # Sky: deep blue above, pale near the horizon.
        t = np.clip(rows / horizon, 0, 1) ** 0.8
        sky = mix(np.array([[[40, 85, 170]]]), np.array([[[185, 210, 230]]]), np.broadcast_to(t, (height, 1)))
        self.sky = np.broadcast_to(sky, (height, width, 3)).astype(np.float32)

        pw = width + self.speeds["clouds"] * frames + 8
        clouds = fbm(height, pw, 96, 6, rng)
        self.cloud_alpha = (np.clip((clouds - 0.5) * 3.0, 0, 1) * np.clip(1.2 - rows / horizon, 0, 1)).astype(np.float32)
        shade = 0.80 + 0.25 * fbm(height, pw, 24, 4, rng)
        self.cloud_rgb = (np.array([245, 245, 250])[None, None, :] * shade[..., None]).astype(np.float32)

        self.layers = []
        # (name, ridge base row, ridge amplitude, colour low, colour high, texture cell)
        specs = [
            ("mountains", horizon - 10, 120, (95, 105, 135), (150, 160, 185), 20),
            ("hills", horizon + 40, 70, (55, 95, 45), (110, 140, 70), 10),
            ("meadow", int(height * 0.74), 35, (70, 120, 30), (190, 175, 80), 3),
        ]
        for name, base, amp, low, high, cell in specs:
            pw = width + self.speeds[name] * frames + 8
            top = base - amp * ridge(pw, 160 if name == "mountains" else 90, 7, rng)
            # Soft anti-aliased edge over one pixel.
            mask = np.clip(rows - top[None, :] + 0.5, 0, 1).astype(np.float32)
            texture = fbm(height, pw, cell * 8, 6, rng, gain=0.6)
            depth = np.clip((rows - top[None, :]) / (height - top[None, :] + 1), 0, 1)
            if name == "mountains":
                # Snow on the peaks, haze toward the foot.
                snow = np.clip((texture - 0.35) * 4 - (rows - top[None, :]) / 25.0, 0, 1)
                rgb = mix(np.array(high, float), np.array(low, float), np.clip(texture * 1.3, 0, 1))
                rgb = mix(rgb, np.array([240.0, 242, 248]), snow)
                rgb = mix(rgb, np.array([170.0, 185, 205]), np.clip(depth * 0.6, 0, 1))
            elif name == "hills":
                trees = np.clip((fbm(height, pw, 12, 4, rng) - 0.55) * 6, 0, 1)
                rgb = mix(np.array(low, float), np.array(high, float), texture)
                rgb = mix(rgb, np.array([25.0, 50, 25]), trees * 0.8)
            else:
                grass = fbm(height, pw, 2, 3, rng)
                flowers = (rng.random((height, pw)) > 0.996).astype(float)
                rgb = mix(np.array(low, float), np.array(high, float), np.clip(texture * 0.7 + depth * 0.4, 0, 1))
                rgb = rgb * (0.75 + 0.45 * grass[..., None])
                rgb = mix(rgb, np.array([235.0, 225, 90]), flowers)
            self.layers.append((name, mask, rgb.astype(np.float32)))

    def frame(self, f):
        w = self.w
        out = self.sky.copy()
        x = self.speeds["clouds"] * f
        a = self.cloud_alpha[:, x:x + w, None]
        out = out * (1 - a) + self.cloud_rgb[:, x:x + w] * a
        for name, mask, rgb in self.layers:
            x = self.speeds[name] * f
            m = mask[:, x:x + w, None]
            out = out * (1 - m) + rgb[:, x:x + w] * m
        return np.clip(out, 0, 255)


def rgb_to_yuv422(rgb):
    """BT.601 studio range (Y 16-235, chroma 16-240), chroma averaged over pixel pairs."""
    r, g, b = (rgb[..., i] / 255.0 for i in range(3))
    y = 16 + 65.481 * r + 128.553 * g + 24.966 * b
    cb = 128 - 37.797 * r - 74.203 * g + 112.0 * b
    cr = 128 + 112.0 * r - 93.786 * g - 18.214 * b
    cb = (cb[:, 0::2] + cb[:, 1::2]) / 2
    cr = (cr[:, 0::2] + cr[:, 1::2]) / 2
    return y, cb, cr


def to_bytes(planes):
    return b"".join(np.clip(np.rint(p), 0, 255).astype(np.uint8).tobytes() for p in planes)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("clean")
    ap.add_argument("noisy")
    ap.add_argument("--frames", type=int, default=100)
    ap.add_argument("--sigma", type=float, default=8.0, help="noise standard deviation in 8-bit steps")
    ap.add_argument("--size", default="720x576")
    ap.add_argument("--seed", type=int, default=20240601, help="seed of the noise (the scene has its own)")
    args = ap.parse_args()
    width, height = (int(v) for v in args.size.split("x"))
    if width % 2:
        sys.exit("demo_scene.py: the width must be even")

    scene = Scene(width, height, args.frames, seed=7)
    noise = np.random.default_rng(args.seed)
    header = f"YUV4MPEG2 W{width} H{height} F25:1 Ip A16:15 C422\n".encode()
    with open(args.clean, "wb") as clean, open(args.noisy, "wb") as noisy:
        clean.write(header)
        noisy.write(header)
        for f in range(args.frames):
            planes = rgb_to_yuv422(scene.frame(f))
            clean.write(b"FRAME\n" + to_bytes(planes))
            noisy.write(b"FRAME\n" + to_bytes(p + noise.normal(0.0, args.sigma, p.shape) for p in planes))


if __name__ == "__main__":
    main()
