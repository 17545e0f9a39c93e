"""Colour-only background subtraction on frames from a video file or a camera.

    python live.py [--video FILE | --camera N] [--show] [--out DIR]
                   [--background-frames N] [--calibration-frames N]

The per-pixel median of the first --background-frames frames is the background
(the scene should be empty then), the next --calibration-frames frames
calibrate the model, and every frame after them gets a mask: written to
DIR/bin%06d.png (numbered from 1 over all the frames read) with --out, shown
beside the frame with --show (q or Esc stops). Without --show it needs no display.

Run it with a Python that has dadimero, numpy and OpenCV's cv2, e.g. Debian's
/usr/bin/python3 (python3-numpy, python3-opencv) or a venv's python with
opencv-python.
"""
import argparse
import os
import sys

import cv2
import numpy as np

import dadimero


def bgr(frame):
    """The frame as the module takes it: uint8 BGR, C-contiguous."""
    if frame.dtype != np.uint8:
        raise ValueError(f"the capture gives {frame.dtype} frames; only 8-bit ones are handled")
    if frame.ndim == 2:
        frame = cv2.cvtColor(frame, cv2.COLOR_GRAY2BGR)
    elif frame.shape[2] == 4:
        frame = cv2.cvtColor(frame, cv2.COLOR_BGRA2BGR)
    return np.ascontiguousarray(frame)


def median_background(frames):
    """Per pixel and channel the median of the frames (the lower one of an even count)."""
    stack = np.stack(frames)
    middle = (len(frames) - 1) // 2
    return np.ascontiguousarray(np.partition(stack, middle, axis=0)[middle])


def positive(text):
    value = int(text)
    if value < 1:
        raise argparse.ArgumentTypeError(f"must be 1 or more, got {value}")
    return value


def non_negative(text):
    value = int(text)
    if value < 0:
        raise argparse.ArgumentTypeError(f"must be 0 or more, got {value}")
    return value


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    source = parser.add_mutually_exclusive_group()
    source.add_argument("--video", help="a video file to read")
    source.add_argument("--camera", type=int, default=0, help="the camera's index (default 0)")
    parser.add_argument("--show", action="store_true", help="show frame and mask in a window")
    parser.add_argument("--out", help="a directory for the masks (made if missing)")
    parser.add_argument("--background-frames", type=positive, default=30, metavar="N",
                        help="frames whose median is the background (default 30)")
    parser.add_argument("--calibration-frames", type=non_negative, default=30, metavar="N",
                        help="frames that calibrate the model after them (default 30)")
    args = parser.parse_args()

    capture = cv2.VideoCapture(args.video) if args.video else cv2.VideoCapture(args.camera)
    name = args.video if args.video else f"camera {args.camera}"
    if not capture.isOpened():
        print(f"live.py: cannot open {name}", file=sys.stderr)
        return 1
    if args.out:
        os.makedirs(args.out, exist_ok=True)

    read = 0
    masks = 0
    first = []
    subtractor = None
    try:
        while True:
            ok, frame = capture.read()
            if not ok:
                break
            read += 1
            frame = bgr(frame)
            if subtractor is None:
                first.append(frame)
                if len(first) == args.background_frames:
                    # apply() calibrates on its first K - 1 frames.
                    subtractor = dadimero.createSubtractor(median_background(first),
                                                           K=args.calibration_frames + 1)
                    first = []
                continue
            # As with cv2's subtractors, every frame gets a mask; those of the
            # calibration frames are all background and are not kept.
            calibrating = subtractor.calibrating
            mask = subtractor.apply(frame)
            if calibrating:
                continue
            masks += 1
            if args.out:
                path = os.path.join(args.out, f"bin{read:06d}.png")
                if not cv2.imwrite(path, mask):
                    raise RuntimeError(f"cannot write {path}")
            if args.show:
                cv2.imshow("dadimero: frame | mask",
                           np.hstack([frame, cv2.cvtColor(mask, cv2.COLOR_GRAY2BGR)]))
                if cv2.waitKey(1) & 0xFF in (ord("q"), 27):
                    break
    except KeyboardInterrupt:
        pass
    except (RuntimeError, ValueError, TypeError, MemoryError) as failure:
        print(f"live.py: {failure}", file=sys.stderr)
        return 1
    finally:
        capture.release()
        if args.show:
            cv2.destroyAllWindows()

    needed = args.background_frames + args.calibration_frames
    if read <= needed:
        print(f"live.py: {name} gave {read} frames, no more than the {needed} the background "
              f"and the calibration take", file=sys.stderr)
        return 1
    print(f"{masks} masks from {read} frames of {name}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
