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
        # Built a frame at a time, as the program does: the whole list gives the same.
        initial = dadimero.InitialDepthBackground(roi)
        assert initial.result() is None
        for f in range(1, min(last, 100) + 1):
            initial.add(depth_frame(f))
        assert initial.frames == min(last, 100)
        depth_background = initial.result()
        assert np.array_equal(depth_background, dadimero.initial_depth_background(
            [depth_frame(f) for f in range(1, min(last, 100) + 1)], roi))
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
        mask = s.apply(colour, depth=d)
        assert mask.shape == roi.shape
        if f <= K:
            assert not mask.any() and s.colour_mask() is None and s.depth_mask() is None
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
        masks = [(f, s.apply(colour, depth=d)) for f, colour, d in frames]
        results[i] = [(f, mask) for f, mask in masks if f > K]

    run_threads(*(lambda i=i: work(i) for i in range(len(runs))))
    for i, (sequence, depth) in enumerate(runs):
        program = run_dadi_mero(sequence, tmp_path / f"program{i}",
                                *([] if depth else ["-DADI", "0"]))
        masks = {f"bin{f:06d}.png": m for f, m in results[i]}
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
            returned.append(s.apply(colour, depth=d))

    def look():
        for _ in frames:
            assert s.colour_model_image().shape == (180, 240, 3)
            mask = s.depth_mask()
            assert mask is None or mask.shape == (60, 80)

    run_threads(feed, feed, look)
    # Every call gave its mask, the first K - 1 of either thread all background.
    assert len(returned) == 2 * len(frames) and not s.calibrating
    assert all(m.shape == (60, 80) and set(np.unique(m)) <= {0, 255} for m in returned)


def test_state_saved_halfway_and_settings_saved_are_taken_back(sequences, tmp_path):
    K, background, roi, depth_background, frames = read_sequence(sequences[16], True)
    program = run_dadi_mero(sequences[16], tmp_path / "program")
    settings = dict(K=K, shadowValue=127, threads=2)
    whole = dadimero.Subtractor(background, depth_background, roi, **settings)
    expected = [whole.apply(colour, depth=d) for _, colour, d in frames]
    # The masks are the program's, with shadows marked 127 where it has 0.
    marked = 0
    for (f, _, _), mask in zip(frames, expected):
        if f > K:
            wanted = cv2.imread(str(program / f"bin{f:06d}.png"), cv2.IMREAD_UNCHANGED)
            assert np.array_equal(np.where(mask == 127, 0, mask), wanted), f
            marked += int((mask == 127).sum())
    assert marked > 0

    half = len(frames) // 2
    first = dadimero.Subtractor(background, depth_background, roi, **settings)
    for _, colour, d in frames[:half]:
        first.apply(colour, depth=d)
    first.save_state(tmp_path / "checkpoint.state")
    second = dadimero.Subtractor(threads=1)
    second.load_state(str(tmp_path / "checkpoint.state"))
    assert (second.K, second.shadowValue, second.threads, second.uses_depth) == (K, 127, 1, True)
    for (f, colour, d), wanted in zip(frames[half:], expected[half:]):
        assert np.array_equal(second.apply(colour, depth=d), wanted), f

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


def test_a_cv2_loop_runs_the_same_with_mog2_or_this_subtractor(sequences):
    # The loop of a cv2 user, unchanged but for the factory: a mask of the
    # frame's size from the first frame on, a mask buffer as the second
    # argument, the rate as cv2 names it, UMat in and out.
    _, _, _, _, frames = read_sequence(sequences[8], False)
    for create in (cv2.createBackgroundSubtractorMOG2, dadimero.createSubtractor):
        subtractor = create()
        buffer = np.empty((60, 80), np.uint8)
        found = 0
        for i, (_, colour, _) in enumerate(frames[:20]):
            if i % 2:
                fg = subtractor.apply(colour, buffer, learningRate=-1)
                assert fg is buffer or np.array_equal(fg, buffer), create
            else:
                fg = subtractor.apply(colour)
            fg = cv2.morphologyEx(fg, cv2.MORPH_OPEN, np.ones((3, 3), np.uint8))
            assert fg.shape == (60, 80) and fg.dtype == np.uint8, create
            found += cv2.countNonZero(fg)
        assert isinstance(subtractor.apply(cv2.UMat(frames[20][1])), cv2.UMat), create
        assert subtractor.getBackgroundImage().shape == (60, 80, 3), create
        assert found > 0, create


def test_settings_are_properties_accessors_and_keywords_alike():
    # Every setting: a keyword of createSubtractor (C++ names of the arguments
    # too), a property, a getX()/setX() pair and an entry of the repr; n and
    # threads change until the first frame.
    s = dadimero.createSubtractor(colourBackground=None, K=7, shadowValue=127)
    names = ["n", "K", "e1", "e2", "e1D", "e2D", "c1", "c2", "Cw", "shadowRemoval", "gamma",
             "beta", "tauS", "tauH", "shadowValue", "threads"]
    for name in names:
        accessor = name[0].upper() + name[1:]
        assert getattr(s, "get" + accessor)() == getattr(s, name), name
        assert f" {name}=" in repr(s), name
    assert " K=7," in repr(s) and " shadowValue=127," in repr(s) and " e2D=0.00075," in repr(s)
    s.setThreads(2)
    s.n = 5
    assert (s.getThreads(), s.getN(), s.K, s.shadowValue) == (2, 5, 7, 127)
    s.apply(np.zeros((20, 20, 3), np.uint8))
    with pytest.raises(ValueError, match="it changes only before the first frame"):
        s.setN(3)
    assert "20x20 colour, calibrating" in repr(s)
    assert [n for n in dir(dadimero) if not n.startswith("_")] == [
        "InitialDepthBackground", "Subtractor", "createSubtractor", "estimate_background",
        "initial_depth_background"]


def test_from_frames_alone_the_first_frame_is_the_background(sequences):
    K, background, roi, depth_background, frames = read_sequence(sequences[8], False)
    first = frames[0][1]
    live = dadimero.Subtractor(roi=roi, K=K)
    assert live.calibrating and live.background_image() is None
    started = dadimero.Subtractor(first, None, roi, K=K)
    got = [live.apply(colour) for _, colour, _ in frames]
    wanted = [np.zeros_like(roi)] + [started.apply(colour) for _, colour, _ in frames[1:]]
    assert not any(m.any() for m in got[:K]) and any(m.any() for m in got[K:])
    assert all(np.array_equal(a, b) for a, b in zip(got, wanted))
    # clear() waits for a new first frame; a learning rate of 1 makes a frame
    # the model, and the next frame is detected against it.
    live.clear()
    assert live.calibrating and live.background_image() is None
    assert not live.apply(frames[5][1]).any() and live.calibrating
    assert not live.apply(frames[6][1], learningRate=1).any() and not live.calibrating
    restarted = dadimero.Subtractor(frames[6][1], None, roi, K=1)
    for _, colour, _ in frames[7:]:
        assert np.array_equal(live.apply(colour), restarted.apply(colour))

    # estimate_background: the per-pixel median, the depth as initial_depth_background.
    colours = [colour for _, colour, _ in frames[:5]]
    depths = [cv2.imread(str(sequences[16] / "depth" / f"d{f:06d}.png"), cv2.IMREAD_ANYDEPTH)
              for f in range(1, 6)]
    colour_bg, depth_bg = dadimero.estimate_background(colours, depths)
    assert np.array_equal(colour_bg, np.median(np.stack(colours), axis=0).astype(np.uint8))
    assert np.array_equal(depth_bg, dadimero.initial_depth_background(depths))
    assert dadimero.estimate_background(colours)[1] is None
