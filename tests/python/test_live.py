"""examples/python/live.py without a display, on a small video it makes: one mask
per frame after the background and calibration frames, finding the moving square."""
import os
import subprocess
import sys

import cv2
import numpy as np

EXAMPLE = os.path.join(os.path.dirname(__file__), "..", "..", "examples", "python", "live.py")
H, W, FRAMES = 48, 64, 40


def square(i):
    """The moving square's rows and columns in frame i (numbered from 1), or None."""
    return None if i <= 15 else (slice(10, 30), slice(i, i + 12))


def test_live_writes_a_mask_per_frame_after_the_start(tmp_path):
    video = str(tmp_path / "walk.avi")
    writer = cv2.VideoWriter(video, cv2.VideoWriter_fourcc(*"MJPG"), 10, (W, H))
    assert writer.isOpened()
    background = np.random.default_rng(1).integers(40, 200, (H, W, 3), dtype=np.uint8)
    for i in range(1, FRAMES + 1):
        frame = background.copy()
        if square(i):
            frame[square(i)] = (20, 220, 30)
        writer.write(frame)
    writer.release()

    out = tmp_path / "masks"
    # --show too: Qt draws the window off screen, no display needed.
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=str(tmp_path))
    env.pop("DISPLAY", None)
    done = subprocess.run([sys.executable, EXAMPLE, "--video", video, "--out", str(out), "--show",
                           "--background-frames", "10", "--calibration-frames", "5"],
                          env=env, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    assert "25 masks from 40 frames" in done.stdout
    names = sorted(p.name for p in out.iterdir())
    assert names == [f"bin{i:06d}.png" for i in range(16, FRAMES + 1)]
    for i in range(16, FRAMES + 1):
        mask = cv2.imread(str(out / f"bin{i:06d}.png"), cv2.IMREAD_UNCHANGED)
        assert mask.shape == (H, W) and mask.dtype == np.uint8
        rows, cols = square(i)
        inside = np.zeros((H, W), bool)
        inside[rows, cols] = True
        assert (mask[inside] == 255).mean() > 0.9, f"frame {i}: the square is missed"
        # Outside a 2-pixel margin around the square, the still scene is background.
        near = np.zeros((H, W), bool)
        near[rows.start - 2:rows.stop + 2, max(cols.start - 2, 0):cols.stop + 2] = True
        assert (mask[~near] == 255).mean() < 0.01, f"frame {i}: the still scene is foreground"

