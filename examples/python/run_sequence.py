"""Runs the dadimero module over a sequence directory and writes the masks
DADI-MERO would write (OUTDIR/bin%06d.png for the online frames).

    python run_sequence.py SEQDIR OUTDIR [--colour-only]

Run it with a Python that has dadimero, numpy and OpenCV's cv2, e.g. Debian's
/usr/bin/python3 (python3-numpy, python3-opencv) or a venv's python with
opencv-python.
"""
import argparse
import os
import sys

import cv2

import dadimero


def read(path, flags):
    image = cv2.imread(path, flags)
    if image is None:
        raise RuntimeError(f"cannot read {path}")
    return image


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("seqdir", help="the sequence directory")
    parser.add_argument("outdir", help="where the masks go (it must exist)")
    parser.add_argument("--colour-only", action="store_true", help="leave depth out")
    args = parser.parse_args()
    seq = args.seqdir
    depth = not args.colour_only
    try:
        # The evaluated frames; the frames before the first calibrate.
        try:
            with open(os.path.join(seq, "temporalROI.txt")) as f:
                first, last = (int(v) for v in f.read().split()[:2])
        except (OSError, ValueError):
            raise RuntimeError(f"no temporalROI.txt in {seq}") from None
        ini = 1

        background = read(os.path.join(seq, "CinitImageL.png"), cv2.IMREAD_COLOR)
        roi = read(os.path.join(seq, "ROI.bmp"), cv2.IMREAD_GRAYSCALE)
        depth_background = None
        if depth:
            # The largest depth of frames ini .. min(last, 100), a frame at a time.
            initial = dadimero.InitialDepthBackground(roi)
            for f in range(ini, min(last, 100) + 1):
                initial.add(read(os.path.join(seq, "depth", f"d{f:06d}.png"), cv2.IMREAD_ANYDEPTH))
            depth_background = initial.result()

        subtractor = dadimero.createSubtractor(background, depth_background, roi, K=first - ini)
        for f in range(ini + 1, last + 1):
            colour = read(os.path.join(seq, "input", f"in{f:06d}.png"), cv2.IMREAD_COLOR)
            d = read(os.path.join(seq, "depth", f"d{f:06d}.png"), cv2.IMREAD_ANYDEPTH) \
                if depth else None
            # The calibration frames' masks are all background; DADI-MERO writes none.
            online = not subtractor.calibrating
            mask = subtractor.apply(colour, depth=d)
            if online:
                path = os.path.join(args.outdir, f"bin{f:06d}.png")
                if not cv2.imwrite(path, mask):
                    raise RuntimeError(f"cannot write {path}")
    except (RuntimeError, ValueError, TypeError, MemoryError) as failure:
        print(f"run_sequence.py: {failure}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
