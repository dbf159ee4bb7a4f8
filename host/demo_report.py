#!/usr/bin/env python3
"""Measures and pictures a denoising run: PSNR of the noisy and the denoised clip against the
clean original, the per-frame statistics orv-denoise wrote with --stats, and a before/after crop.

usage: demo_report.py CLEAN.y4m NOISY.y4m DENOISED.y4m STATS.csv OUTDIR [--title TEXT]
Writes OUTDIR/quality.png and OUTDIR/before_after.png and prints a summary.
"""
import argparse
import csv
import math

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402


# The filter's noise statistics average over 50 analysed frames and start empty, so the
# motion-compensated filter reaches its full strength only after that many frames.
WARMUP = 50


def read_y4m(path):
    """Yields (Y, U, V) uint8 arrays of each frame of a 4:2:2 or 4:2:0 YUV4MPEG2 file."""
    with open(path, "rb") as f:
        header = f.readline().split()
        if not header or header[0] != b"YUV4MPEG2":
            raise SystemExit(f"{path}: not a YUV4MPEG2 file")
        tags = {t[:1]: t[1:].decode() for t in header[1:]}
        w, h = int(tags[b"W"]), int(tags[b"H"])
        cs = tags.get(b"C", "420jpeg")
        cw, ch = (w + 1) // 2, (h + 1) // 2 if cs.startswith("420") else h
        if cs == "444":
            cw = w
        sizes = (w * h, cw * ch, cw * ch)
        while True:
            line = f.readline()
            if not line:
                return
            data = f.read(sum(sizes))
            if len(data) < sum(sizes):
                return
            buf = np.frombuffer(data, np.uint8)
            y = buf[: sizes[0]].reshape(h, w)
            u = buf[sizes[0]: sizes[0] + sizes[1]].reshape(ch, cw)
            v = buf[sizes[0] + sizes[1]:].reshape(ch, cw)
            yield y, u, v


def psnr(a, b):
    mse = np.mean((a.astype(np.float64) - b.astype(np.float64)) ** 2)
    return 99.0 if mse == 0 else 10 * math.log10(255.0 ** 2 / mse)


def to_rgb(y, u, v):
    """BT.601 studio range 4:2:2 to RGB for display; chroma repeated over its pixel pair."""
    u = np.repeat(u, 2, axis=1)[:, : y.shape[1]].astype(np.float64) - 128
    v = np.repeat(v, 2, axis=1)[:, : y.shape[1]].astype(np.float64) - 128
    yy = (y.astype(np.float64) - 16) * 1.164
    rgb = np.stack([yy + 1.596 * v, yy - 0.392 * u - 0.813 * v, yy + 2.017 * u], axis=-1)
    return np.clip(rgb, 0, 255).astype(np.uint8)


def read_stats(path):
    stats = {p: {"frame": [], "snr": [], "frame_snr": [], "threshold": [], "scene": []} for p in "YUV"}
    with open(path) as f:
        for row in csv.DictReader(f):
            s = stats[row["plane"]]
            s["frame"].append(int(row["frame"]))
            s["threshold"].append(int(row["threshold"]))
            measured = row["snr_db"] != ""
            s["snr"].append(float(row["snr_db"]) if measured else math.nan)
            s["frame_snr"].append(float(row["frame_snr_db"]) if measured else math.nan)
            s["scene"].append(int(row["scene_change"]) if measured else 0)
    return stats


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for name in ("clean", "noisy", "denoised", "stats", "outdir"):
        ap.add_argument(name)
    ap.add_argument("--title", default="orv-denoise")
    ap.add_argument("--crop", default="240x180+240+150", help="WxH+X+Y of the before/after crop")
    args = ap.parse_args()

    cw, rest = args.crop.split("x")
    ch, cx, cy = (int(v) for v in rest.split("+"))
    cw = int(cw)

    # The before/after frame: late enough for the recursive filter to have settled.
    show_frame = WARMUP + 25
    p_noisy, p_denoised = [], []
    show = None
    for clean, noisy, den in zip(read_y4m(args.clean), read_y4m(args.noisy), read_y4m(args.denoised)):
        p_noisy.append(psnr(clean[0], noisy[0]))
        p_denoised.append(psnr(clean[0], den[0]))
        if len(p_noisy) <= show_frame:
            show = (clean, noisy, den)
    frames = len(p_noisy)
    if frames == 0:
        raise SystemExit("demo_report.py: no frames to compare")
    stats = read_stats(args.stats)

    # Quality over time.
    fig, (top, bottom) = plt.subplots(2, 1, figsize=(11, 9.5), sharex=True)
    x = np.arange(1, frames + 1)
    top.plot(x, p_noisy, color="#c0392b", lw=2, label=f"noisy input (mean {np.mean(p_noisy):.2f} dB)")
    top.plot(x, p_denoised, color="#2471a3", lw=2, label=f"denoised (mean {np.mean(p_denoised):.2f} dB)")
    if frames > WARMUP:
        top.axvspan(0.5, WARMUP + 0.5, color="#999999", alpha=0.12, lw=0)
        top.text(WARMUP / 2, top.get_ylim()[1], "noise statistics filling\n(first 50 analysed frames)",
                 ha="center", va="top", fontsize=10, color="#555555")
    top.set_ylabel("PSNR vs clean original, luma (dB)", fontsize=12)
    top.set_title(f"{args.title}: picture quality per frame", fontsize=14)
    top.grid(alpha=0.3)
    top.legend(fontsize=11, loc="lower right")

    colours = {"Y": "#1e8449", "U": "#2e86c1", "V": "#c0392b"}
    measured_any = False
    for p in "YUV":
        s = stats[p]
        if all(math.isnan(v) for v in s["snr"]):
            continue
        measured_any = True
        bottom.plot(s["frame"], s["snr"], color=colours[p], lw=2, label=f"{p} SNR (smoothed, as the dialog shows)")
        bottom.plot(s["frame"], s["frame_snr"], color=colours[p], lw=0.8, alpha=0.5, label=f"{p} SNR of the frame")
        cuts = [f for f, c in zip(s["frame"], s["scene"]) if c]
        for f in cuts:
            bottom.axvline(f, color=colours[p], ls=":", lw=1)
    bottom.set_ylabel("SNR measured by the filter (dB)", fontsize=12)
    bottom.set_xlabel("frame", fontsize=12)
    bottom.grid(alpha=0.3)
    twin = bottom.twinx()
    for p in "YUV":
        twin.step(stats[p]["frame"], stats[p]["threshold"], where="mid", color=colours[p], ls="--", lw=1.2,
                  label=f"{p} threshold in force")
    twin.set_ylabel("threshold (0-100)", fontsize=12)
    twin.set_ylim(bottom=0)
    lines = bottom.get_legend_handles_labels()
    tl = twin.get_legend_handles_labels()
    bottom.legend(lines[0] + tl[0], lines[1] + tl[1], fontsize=9, loc="upper center", bbox_to_anchor=(0.5, -0.14),
                  ncol=3, frameon=False)
    bottom.set_title("What the filter measured (--stats)" + ("" if measured_any else ": no plane analysed"),
                     fontsize=13)
    fig.tight_layout()
    fig.savefig(f"{args.outdir}/quality.png", dpi=100)
    plt.close(fig)

    # Before and after, enlarged twice so the grain is visible.
    clean, noisy, den = show
    n = min(frames, show_frame)
    panels = [
        (noisy, f"noisy input ({p_noisy[n - 1]:.1f} dB)"),
        (den, f"denoised ({p_denoised[n - 1]:.1f} dB)"),
        (clean, "clean original"),
    ]
    fig, axes = plt.subplots(1, 3, figsize=(15.5, 5.0))
    for ax, (yuv, label) in zip(axes, panels):
        rgb = to_rgb(*yuv)[cy:cy + ch, cx:cx + cw]
        ax.imshow(np.repeat(np.repeat(rgb, 2, axis=0), 2, axis=1), interpolation="nearest")
        ax.set_title(label, fontsize=15)
        ax.axis("off")
    fig.suptitle(f"{args.title}: frame {n}, {cw}x{ch} crop at ({cx},{cy}) shown at 2x", fontsize=14)
    fig.tight_layout()
    fig.savefig(f"{args.outdir}/before_after.png", dpi=100)
    plt.close(fig)

    def gain(first, last):
        n, d = np.mean(p_noisy[first:last]), np.mean(p_denoised[first:last])
        return f"noisy {n:.2f} dB -> denoised {d:.2f} dB ({d - n:+.2f} dB)"

    print(f"PSNR (luma) against the clean original, all {frames} frames: {gain(0, frames)}")
    if frames > WARMUP:
        print(f"  frames {WARMUP + 1}-{frames}, once the filter's noise statistics are full: {gain(WARMUP, frames)}")


if __name__ == "__main__":
    main()
