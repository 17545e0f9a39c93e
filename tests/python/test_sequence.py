"""The module against the DADI-MERO program: the files a run writes with
-l 1 -m 1 (masks, colour and depth masks, model pictures), byte for byte, and
the same masks when subtractors run in Python threads."""
import threading

import cv2
import numpy as np
import pytest

import dadimero
from conftest import run_dadi_mero

# Every setting away from its default, as options of the program and as keywords;
# on this sequence each one of them, back at its default, changes some output.
CHANGED_OPTIONS = ["-n", "5", "-e1", "0.001", "-e2", "0.012", "-e1D", "0.0001", "-e2D", "0.002",
                   "-c1", "0.2", "-c2", "0.03", "-Cw", "3", "-g", "0.6", "-b", "0.9",
                   "-tS", "0.2", "-tH", "20", "-threads", "1"]
CHANGED_SETTINGS = dict(n=5, e1=0.001, e2=0.012, e1D=0.0001, e2D=0.002, c1=0.2, c2=0.03, Cw=3,
                        gamma=0.6, beta=0.9, tauS=0.2, tauH=20, threads=1)

# (depth bits, with depth, program options, keywords); the 8-bit run gives its depth
# background through set_depth_background, to a subtractor built on a 16-bit one.
RUNS = {
    "rgbd-16bit": (16, True, [], {}),
    "rgbd-16bit-every-setting-changed": (16, True, CHANGED_OPTIONS, CHANGED_SETTINGS),
    "rgbd-8bit-set-later": (8, True, [], {}),
    "colour-only-no-shadow-removal": (16, False, ["-s", "0"], dict(shadowRemoval=False)),
}


def read_sequence(sequence, depth):
    """The run's inputs as DADI-MERO reads them: K, background, ROI, depth background
    and the frames ini + 1 .. toIdx (ini = 1)."""
    first, last = (int(v) for v in (sequence / "temporalROI.txt").read_text().split()[:2])
    background = cv2.imread(str(sequence / "CinitImageL.png"), cv2.IMREAD_COLOR)
    roi = cv2.imread(str(sequence / "ROI.bmp"), cv2.IMREAD_GRAYSCALE)

    def depth_frame(f):
        return cv2.imread(str(sequence / "depth" / f"d{f:06d}.png"), cv2.IMREAD_ANYDEPTH)

    depth_background = None
    if depth:
        depth_background = dadimero.initial_depth_background(
            [depth_frame(f) for f in range(1, min(last, 100) + 1)], roi)
    frames = [(f, cv2.imread(str(sequence / "input" / f"in{f:06d}.png"), cv2.IMREAD_COLOR),
               depth_frame(f) if depth else None) for f in range(2, last + 1)]
    return first - 1, background, roi, depth_background, frames


def module_run(sequence, depth, settings):
    """What DADI-MERO writes with -l 1 -m 1, file name -> image, from the module."""
    K, background, roi, depth_background, frames = read_sequence(sequence, depth)
    if depth and depth_background.dtype == np.uint8:
        s = dadimero.Subtractor(background, np.zeros(roi.shape, np.uint16), roi, K=K, **settings)
        s.set_depth_background(depth_background)
    else:
        s = dadimero.Subtractor(background, depth_background, roi, K=K, **settings)
    assert s.uses_depth == depth
    files = {}
    if depth and depth_background.dtype == np.uint16:
        # What -m 1 writes as DinitImage.png; for 8-bit depth it is the depth
        # background in the model pictures' scaling (w x 2^8, rounded) instead.
        files["DinitImage.png"] = depth_background

    def snapshot(f):
        files[f"Cmodel{f:06d}.ppm"] = s.colour_model_image()
        if depth:
            files[f"Dmodel{f:06d}.png"] = s.depth_model_image()

    snapshot(1)
    for f, colour, d in frames:
        assert s.calibrating == (f <= K)
        mask = s.apply(colour, d)
        if f <= K:
            assert mask is None and s.colour_mask() is None and s.depth_mask() is None
            if f == K:
                snapshot(f)
            continue
        files[f"bin{f:06d}.png"] = mask
        files[f"Cbin{f:06d}.png"] = s.colour_mask()
        if depth:
            files[f"Dbin{f:06d}.png"] = s.depth_mask()
        snapshot(f)
    assert not s.calibrating
    if not depth:
        assert s.depth_mask() is None and s.depth_model_image() is None
    # The background picture is the centre weight of every block.
    n = settings.get("n", 3)
    np.testing.assert_array_equal(s.background_image(),
                                  s.colour_model_image()[n // 2::n, n // 2::n])
    return files


@pytest.mark.parametrize("run", RUNS)
def test_every_output_is_dadi_mero_s(sequences, tmp_path, run):
    bits, depth, options, settings = RUNS[run]
    program = run_dadi_mero(sequences[bits], tmp_path / "program", "-l", "1", "-m", "1",
                            *([] if depth else ["-DADI", "0"]), *options)
    files = module_run(sequences[bits], depth, settings)
    expected = {p.name: p for p in program.iterdir()
                if p.name != "DinitImage.png" or "DinitImage.png" in files}
    assert sorted(files) == sorted(expected)
    assert sum(name.startswith("bin") for name in files) == 45
    for name, image in files.items():
        assert image.flags.c_contiguous and image.flags.owndata, name
        wanted = cv2.imread(str(expected[name]), cv2.IMREAD_UNCHANGED)
        assert image.dtype == wanted.dtype and image.shape == wanted.shape, name
        assert np.array_equal(image, wanted), f"{name} differs from DADI-MERO's"
    if depth:
        assert files["Dmodel000001.png"].dtype == (np.uint16 if bits == 16 else np.uint8)


def run_threads(*bodies):
    """Runs the bodies in threads started together; re-raises the first failure."""
    start = threading.Barrier(len(bodies))
    failures = []

    def run(body):
        try:
            start.wait()
            body()
        except BaseException as failure:  # handed to the main thread
            failures.append(failure)

    threads = [threading.Thread(target=run, args=(body,)) for body in bodies]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    if failures:
        raise failures[0]


def test_subtractors_in_threads_give_the_masks_of_a_lone_run(sequences, tmp_path):
    # Two sequences, with depth and colour only, each twice: four threads at once.
    runs = [(sequences[16], True), (sequences[8], False)] * 2
    inputs = [read_sequence(seq, depth) for seq, depth in runs]
    results = [None] * len(runs)

    def work(i):
        K, background, roi, depth_background, frames = inputs[i]
        s = dadimero.Subtractor(background, depth_background, roi, K=K, threads=1)
        results[i] = [s.apply(colour, d) for _, colour, d in frames]

    run_threads(*(lambda i=i: work(i) for i in range(len(runs))))
    for i, (sequence, depth) in enumerate(runs):
        program = run_dadi_mero(sequence, tmp_path / f"program{i}",
                                *([] if depth else ["-DADI", "0"]))
        frames = inputs[i][4]
        masks = {f"bin{f:06d}.png": m for (f, _, _), m in zip(frames, results[i])
                 if m is not None}
        assert sorted(masks) == sorted(p.name for p in program.iterdir())
        for name, mask in masks.items():
            assert np.array_equal(mask, cv2.imread(str(program / name), cv2.IMREAD_UNCHANGED)), \
                f"thread {i}: {name} differs from DADI-MERO's"


def test_one_subtractor_shared_by_threads_takes_every_call_once(sequences):
    K, background, roi, depth_background, frames = read_sequence(sequences[16], True)
    s = dadimero.Subtractor(background, depth_background, roi, K=K)
    returned = []

    def feed():
        for _, colour, d in frames:
            returned.append(s.apply(colour, d))

    def look():
        for _ in frames:
            assert s.colour_model_image().shape == (180, 240, 3)
            mask = s.depth_mask()
            assert mask is None or mask.shape == (60, 80)

    run_threads(feed, feed, look)
    # Exactly the first K - 1 calls of either thread calibrated.
    assert len(returned) == 2 * len(frames)
    assert sum(m is None for m in returned) == K - 1
    assert all(m.shape == (60, 80) and set(np.unique(m)) <= {0, 255}
               for m in returned if m is not None)


def test_state_saved_halfway_and_settings_saved_are_taken_back(sequences, tmp_path):
    K, background, roi, depth_background, frames = read_sequence(sequences[16], True)
    program = run_dadi_mero(sequences[16], tmp_path / "program")
    settings = dict(K=K, shadowValue=127, threads=2)
    whole = dadimero.Subtractor(background, depth_background, roi, **settings)
    expected = [whole.apply(colour, d) for _, colour, d in frames]
    # The masks are the program's, with shadows marked 127 where it has 0.
    marked = 0
    for (f, _, _), mask in zip(frames, expected):
        if mask is not None:
            wanted = cv2.imread(str(program / f"bin{f:06d}.png"), cv2.IMREAD_UNCHANGED)
            assert np.array_equal(np.where(mask == 127, 0, mask), wanted), f
            marked += int((mask == 127).sum())
    assert marked > 0

    half = len(frames) // 2
    first = dadimero.Subtractor(background, depth_background, roi, **settings)
    for _, colour, d in frames[:half]:
        first.apply(colour, d)
    first.save_state(tmp_path / "state.yml.gz")
    second = dadimero.Subtractor(threads=1)
    second.load_state(str(tmp_path / "state.yml.gz"))
    assert (second.K, second.shadowValue, second.threads, second.uses_depth) == (K, 127, 1, True)
    for (f, colour, d), wanted in zip(frames[half:], expected[half:]):
        assert np.array_equal(second.apply(colour, d), wanted), f

    # Settings changed as properties, saved and loaded into a new subtractor.
    second.e2 = 0.02
    second.tauH = np.float32(15)
    second.shadowRemoval = False
    second.save_settings(tmp_path / "settings.yml")
    third = dadimero.Subtractor()
    third.load_settings(tmp_path / "settings.yml")
    names = ["n", "K", "e1", "e2", "e1D", "e2D", "c1", "c2", "Cw", "shadowRemoval", "gamma",
             "beta", "tauS", "tauH", "shadowValue", "threads"]
    assert [getattr(third, name) for name in names] == [getattr(second, name) for name in names]
    assert (third.e2, third.tauH, third.shadowRemoval) == (np.float32(0.02), 15.0, False)


def test_from_frames_alone_the_first_frame_is_the_background(sequences):
    K, background, roi, depth_background, frames = read_sequence(sequences[8], False)
    first = frames[0][1]
    live = dadimero.Subtractor(roi=roi, K=K)
    assert live.calibrating and live.background_image() is None
    started = dadimero.Subtractor(first, None, roi, K=K)
    got = [live.apply(colour) for _, colour, _ in frames]
    wanted = [None] + [started.apply(colour) for _, colour, _ in frames[1:]]
    assert sum(m is None for m in got) == K
    assert all((a is None and b is None) or np.array_equal(a, b) for a, b in zip(got, wanted))
    # clear() waits for a new first frame; a learning rate of 1 starts from this one.
    live.clear()
    assert live.calibrating and live.background_image() is None
    assert live.apply(frames[5][1]) is None
    restarted = dadimero.Subtractor(roi=roi, K=K)
    restarted.apply(frames[5][1])
    assert live.apply(frames[6][1], learning_rate=1) is None
    assert restarted.apply(frames[6][1], learning_rate=1) is None
    for _, colour, _ in frames[7:]:
        a, b = live.apply(colour), restarted.apply(colour)
        assert (a is None and b is None) or np.array_equal(a, b)

    # estimate_background: the per-pixel median, the depth as initial_depth_background.
    colours = [colour for _, colour, _ in frames[:5]]
    depths = [cv2.imread(str(sequences[16] / "depth" / f"d{f:06d}.png"), cv2.IMREAD_ANYDEPTH)
              for f in range(1, 6)]
    colour_bg, depth_bg = dadimero.estimate_background(colours, depths)
    assert np.array_equal(colour_bg, np.median(np.stack(colours), axis=0).astype(np.uint8))
    assert np.array_equal(depth_bg, dadimero.initial_depth_background(depths))
    assert dadimero.estimate_background(colours)[1] is None
