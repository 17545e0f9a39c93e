"""Misuse of the module: each bad call raises TypeError or ValueError with a
sentence naming the problem, never crashes, and leaves the subtractor as it was."""
import numpy as np
import pytest

import dadimero

H, W = 12, 16
rng = np.random.default_rng(3)
BACKGROUND = rng.integers(0, 256, (H, W, 3), dtype=np.uint8)
DEPTH_BACKGROUND = rng.integers(1000, 3000, (H, W), dtype=np.uint16)


def frame(i):
    """Frame i: the background with a bright square moving across it, and its depth."""
    colour = BACKGROUND.copy()
    depth = DEPTH_BACKGROUND.copy()
    x = i % (W - 5)
    colour[3:9, x:x + 5] = 250
    depth[3:9, x:x + 5] = 500
    return colour, depth


def add_all(depth_frames):
    """Adds the frames to an InitialDepthBackground; the last, refused, changes nothing."""
    initial = dadimero.InitialDepthBackground()
    for depth in depth_frames[:-1]:
        initial.add(depth)
    before = initial.result()
    try:
        initial.add(depth_frames[-1])
    finally:
        assert initial.frames == len(depth_frames) - 1
        assert np.array_equal(initial.result(), before)


# (what, call(colour_only, rgbd), exception, words of the message)
MISUSE = [
    ("colour background of floats", lambda c, d: dadimero.Subtractor(BACKGROUND / 1.0),
     TypeError, "colour_background must have dtype uint8, got float64"),
    ("colour background of one channel", lambda c, d: dadimero.Subtractor(BACKGROUND[:, :, 0].copy()),
     ValueError, "colour_background must be H x W x 3"),
    ("colour background with alpha", lambda c, d: dadimero.Subtractor(np.zeros((H, W, 4), np.uint8)),
     ValueError, "got shape (12, 16, 4)"),
    ("colour background a list", lambda c, d: dadimero.Subtractor(BACKGROUND.tolist()),
     TypeError, "colour_background must be a NumPy array or a cv2.UMat, got list"),
    ("colour background empty", lambda c, d: dadimero.Subtractor(np.zeros((0, W, 3), np.uint8)),
     ValueError, "colour_background is empty"),
    ("depth background of int32",
     lambda c, d: dadimero.Subtractor(BACKGROUND, DEPTH_BACKGROUND.astype(np.int32)),
     TypeError, "depth_background must have dtype uint8 or uint16, got int32"),
    ("depth background big-endian",
     lambda c, d: dadimero.Subtractor(BACKGROUND, DEPTH_BACKGROUND.astype(">u2")),
     TypeError, "depth_background must have dtype uint8 or uint16"),
    ("depth background of another size",
     lambda c, d: dadimero.Subtractor(BACKGROUND, DEPTH_BACKGROUND[:-1].copy()),
     ValueError, "is 16x11, expected 16x12"),
    ("roi of uint16", lambda c, d: dadimero.Subtractor(BACKGROUND, None, DEPTH_BACKGROUND),
     TypeError, "roi must have dtype uint8"),
    ("roi empty", lambda c, d: dadimero.Subtractor(BACKGROUND, roi=np.zeros((0, 0), np.uint8)),
     ValueError, "roi is empty"),
    ("unknown setting", lambda c, d: dadimero.Subtractor(BACKGROUND, k=5),
     TypeError, "unexpected keyword argument 'k'"),
    ("int setting as text", lambda c, d: dadimero.Subtractor(BACKGROUND, n="3"),
     TypeError, "n must be an int, got str"),
    ("int setting as float", lambda c, d: dadimero.Subtractor(BACKGROUND, threads=1.5),
     TypeError, "threads must be an int, got float"),
    ("float setting as text", lambda c, d: dadimero.Subtractor(BACKGROUND, e2="0.01"),
     TypeError, "e2 must be a number, got str"),
    ("bool setting as int", lambda c, d: dadimero.Subtractor(BACKGROUND, shadowRemoval=1),
     TypeError, "shadowRemoval must be a bool, got int"),
    ("float setting beyond float", lambda c, d: dadimero.Subtractor(BACKGROUND, tauH=1e300),
     ValueError, "tauH is out of range"),
    ("unsupported block side", lambda c, d: dadimero.Subtractor(BACKGROUND, n=4),
     ValueError, "n must be 1, 3, 5, 7 or 9, got 4"),
    ("depth to a colour-only subtractor", lambda c, d: c.apply(frame(0)[0], depth=frame(0)[1]),
     ValueError, "a depth frame was given to a subtractor without depth"),
    ("depth where cv2 takes the mask", lambda c, d: d.apply(*frame(0)),
     TypeError, "fgmask must have dtype uint8, got uint16 (a depth frame goes in depth=)"),
    ("mask buffer of another size", lambda c, d: c.apply(frame(0)[0], np.zeros((H, W - 1), np.uint8)),
     ValueError, "fgmask must be H x W as the frame, (12, 16), got shape (12, 15)"),
    ("read-only mask buffer",
     lambda c, d: c.apply(frame(0)[0], np.broadcast_to(np.uint8(0), (H, W))),
     ValueError, "fgmask must be a writable C-contiguous array"),
    ("depth given positionally after the rate", lambda c, d: d.apply(frame(0)[0], None, -1, frame(0)[1]),
     TypeError, "apply() takes at most 3 positional arguments but 4 were given"),
    ("no depth to an RGB-D subtractor", lambda c, d: d.apply(frame(0)[0]),
     ValueError, "this subtractor uses depth"),
    ("colour frame of floats", lambda c, d: c.apply(frame(0)[0].astype(np.float32)),
     TypeError, "image must have dtype uint8, got float32"),
    ("colour frame of another size", lambda c, d: c.apply(np.zeros((H, W + 1, 3), np.uint8)),
     ValueError, "the colour frame is 17x12, expected 16x12"),
    ("colour frame as bytes", lambda c, d: c.apply(frame(0)[0].tobytes()),
     TypeError, "image must be a NumPy array or a cv2.UMat, got bytes"),
    ("depth frame with a channel axis",
     lambda c, d: d.apply(frame(0)[0], depth=frame(0)[1][..., None]),
     ValueError, "depth must be H x W, got shape (12, 16, 1)"),
    ("depth frame of floats",
     lambda c, d: d.apply(frame(0)[0], depth=frame(0)[1].astype(np.float32)),
     TypeError, "depth must have dtype uint8 or uint16, got float32"),
    ("learning rate as text", lambda c, d: c.apply(frame(0)[0], learning_rate="fast"),
     TypeError, "learningRate must be a number, got str"),
    ("learning rate not a number", lambda c, d: c.apply(frame(0)[0], learning_rate=float("nan")),
     ValueError, "the learning rate must be negative (automatic) or between 0 and 1, got nan"),
    ("learning rate above 1", lambda c, d: c.apply(frame(0)[0], learning_rate=1e6),
     ValueError, "the learning rate must be negative (automatic) or between 0 and 1, got 1e+06"),
    ("misspelt keyword beside a frame",
     lambda c, d: d.apply(frame(0)[0], depth=frame(0)[1], learning_rat=0.5),
     TypeError, "apply() got an unexpected keyword argument 'learning_rat'"),
    ("frame given twice", lambda c, d: c.apply(frame(0)[0], colour=frame(0)[0]),
     TypeError, "apply() got multiple values for argument 'image'"),
    ("setting without meaning", lambda c, d: setattr(c, "c2", 5),
     ValueError, "c2 must be between 0 and 1, got 5"),
    ("n of a running model", lambda c, d: setattr(c, "n", 5),
     ValueError, "n is 3 for this model and fixes its layout; it changes only before the first "
     "frame"),
    ("threads of a running model", lambda c, d: c.setThreads(2),
     ValueError, "threads is 0 for this model; it changes only before the first frame"),
    ("gamma above beta", lambda c, d: dadimero.Subtractor(BACKGROUND, gamma=0.9, beta=0.8),
     ValueError, "gamma must be at most beta (0.8), got 0.9"),
    ("depth background without colour", lambda c, d: dadimero.Subtractor(None, DEPTH_BACKGROUND),
     ValueError, "depth_background needs a colour_background"),
    ("state file missing", lambda c, d: c.load_state("/nonexistent/checkpoint.state"),
     OSError, "cannot read the state file /nonexistent/checkpoint.state: No such file or directory"),
    ("state file path with a NUL byte", lambda c, d: c.save_state("precious\x00.state"),
     OSError, "cannot write the state file precious\\0.state: the path holds a NUL byte"),
    ("new depth background for colour only",
     lambda c, d: c.set_depth_background(DEPTH_BACKGROUND),
     ValueError, "set_depth_background needs a subtractor that uses depth"),
    ("new depth background of another size",
     lambda c, d: d.set_depth_background(DEPTH_BACKGROUND[:, 1:].copy()),
     ValueError, "is 15x12, expected 16x12"),
    ("no depth frames", lambda c, d: dadimero.initial_depth_background([]),
     ValueError, "needs at least one depth frame"),
    ("depth frames as text", lambda c, d: dadimero.initial_depth_background("d000001.png"),
     TypeError, "depth_frames must be a sequence of NumPy arrays, got str"),
    ("depth frames of mixed bit depths",
     lambda c, d: dadimero.initial_depth_background([DEPTH_BACKGROUND,
                                                     DEPTH_BACKGROUND.astype(np.uint8)]),
     ValueError, "all must be 8-bit or all 16-bit"),
    ("depth frame of int16 in a list",
     lambda c, d: dadimero.initial_depth_background([DEPTH_BACKGROUND, DEPTH_BACKGROUND.view(np.int16)]),
     TypeError, "depth_frames[1] must have dtype uint8 or uint16, got int16"),
    ("depth frame of int16 added",
     lambda c, d: dadimero.InitialDepthBackground().add(DEPTH_BACKGROUND.view(np.int16)),
     TypeError, "depth_frame must have dtype uint8 or uint16, got int16"),
    ("depth frame of another size added",
     lambda c, d: add_all([DEPTH_BACKGROUND, DEPTH_BACKGROUND[:, 1:].copy()]),
     ValueError, "depth frame 1 is 15x12, expected 16x12"),
    ("depth frame of another size than the region",
     lambda c, d: dadimero.InitialDepthBackground(np.ones((12, 15), np.uint8)).add(
         DEPTH_BACKGROUND),
     ValueError, "the first depth frame is 16x12, expected 15x12"),
]


def masks(subtractors, frames):
    colour_only, rgbd = subtractors
    return [(colour_only.apply(c), rgbd.apply(c, depth=d)) for c, d in frames]


def make_subtractors():
    return (dadimero.Subtractor(BACKGROUND, K=3),
            dadimero.Subtractor(BACKGROUND, DEPTH_BACKGROUND, K=3))


def test_each_misuse_raises_one_clear_error_and_changes_nothing():
    clean = masks(make_subtractors(), [frame(i) for i in range(len(MISUSE))])
    assert all(m.shape == (H, W) for pair in clean for m in pair)
    assert all(m.any() for pair in clean[2:] for m in pair)  # K = 3: frames 2 on detect

    # The same frames with every misuse in between.
    subtractors = make_subtractors()
    for i, (what, call, error, words) in enumerate(MISUSE):
        with pytest.raises(error) as raised:
            call(*subtractors)
        assert words in str(raised.value), what
        assert "\n" not in str(raised.value), what
        got = masks(subtractors, [frame(i)])[0]
        for mask, wanted in zip(got, clean[i]):
            assert np.array_equal(mask, wanted), what


def test_settings_reach_the_library():
    # Each keyword takes effect: the model's block side, the calibration length,
    # the filter's minimum size; NumPy scalars pass as numbers.
    s = dadimero.Subtractor(BACKGROUND, n=np.int64(5), K=4, c2=np.float32(0.1))
    assert s.colour_model_image().shape == (5 * H, 5 * W, 3)
    assert [s.apply(frame(i)[0]).any() for i in range(4)] == [False, False, False, True]
    tiny = np.zeros((3, 3, 3), np.uint8)
    with pytest.raises(ValueError, match="smaller than the 5x5 the spatial filter needs"):
        dadimero.Subtractor(tiny)
    assert dadimero.Subtractor(tiny, Cw=3).apply(tiny).shape == (3, 3)


def test_arrays_of_any_layout_give_the_masks_of_contiguous_ones():
    # A crop of a larger image, a flip, Fortran order and a transposition: each
    # array is viewed where it can be and copied where it cannot, as cv2 does.
    big = rng.integers(0, 256, (H + 6, W + 8, 3), dtype=np.uint8)
    layouts = {
        "crop": lambda a: np.pad(a, [(3, 3), (4, 4)] + [(0, 0)] * (a.ndim - 2))[3:-3, 4:-4],
        "flipped view": lambda a: np.flip(np.flip(a, 0).copy(), 0),
        "fortran": np.asfortranarray,
        "transposed": lambda a: np.ascontiguousarray(np.swapaxes(a, 0, 1)).swapaxes(0, 1),
        "every other byte": lambda a: np.repeat(a, 2, axis=1)[:, ::2],
    }
    background = big[3:-3, 4:-4].copy()
    roi = np.full((H, W), 255, np.uint8)
    roi[:2] = 0
    frames = [frame(i) for i in range(8)]

    def run(layout):
        s = dadimero.Subtractor(layout(background), layout(DEPTH_BACKGROUND), layout(roi), K=3)
        return [s.apply(layout(c), depth=layout(d)) for c, d in frames]

    wanted = run(lambda a: a)
    assert not any(m.any() for m in wanted[:2]) and any(m.any() for m in wanted[2:])
    for name, layout in layouts.items():
        assert not layout(DEPTH_BACKGROUND).flags.c_contiguous, name
        got = run(layout)
        assert all(np.array_equal(a, b) for a, b in zip(got, wanted)), name
        depths = [layout(d) for _, d in frames]
        assert np.array_equal(dadimero.initial_depth_background(depths),
                              dadimero.initial_depth_background([d for _, d in frames])), name
