"""The Python module against the virtual camera's truth, the C++ library's own poses, and bad input.

Run by ctest with the module of the build tree on PYTHONPATH (TOVRAK_TRACK_VIDEO names the C++
example that prints the same frames' poses).
"""
import math
import os
import subprocess

import numpy as np
import pytest

import tovrak

FRAMES = 60


def angle_between(a, b):
    return math.degrees(math.acos(max(-1.0, min(1.0, (np.trace(a @ b.T) - 1) / 2))))


@pytest.fixture(scope="module")
def film():
    camera = tovrak.VirtualCamera("noise=2")
    return camera, [camera.frame(3 * n) for n in range(FRAMES)]


def test_poses_match_the_truth_and_the_cxx_library(film):
    camera, frames = film
    tracker = tovrak.Tracker(camera.camera)
    poses = [tracker.track(f) for f in frames]
    rotation, translation = [], []
    for n, pose in enumerate(poses):
        truth = camera.truth(3 * n)
        if truth.found:
            assert pose.found, n
            rotation.append(angle_between(pose.measured_rotation, truth.rotation))
            t = truth.translation
            translation.append(100 * np.linalg.norm(pose.measured_translation - t) / np.linalg.norm(t))
            assert np.median(np.linalg.norm(pose.corners - truth.corners, axis=1)) < 0.2
    assert np.median(rotation) < 0.15 and np.median(translation) < 0.05
    # The same frames through the C++ example (every third frame of the path, as here).
    example = os.environ.get("TOVRAK_TRACK_VIDEO")
    if not example:
        pytest.skip("TOVRAK_TRACK_VIDEO is not set")
    lines = subprocess.run([example, "synthetic:noise=2", str(3 * FRAMES)], check=True, capture_output=True,
                           text=True).stdout.splitlines()
    cxx = {int(line.split(",")[0]): [float(v) for v in line.split(",")[1:]] for line in lines}
    again = tovrak.Tracker(camera.camera)
    for n in range(3 * FRAMES):
        pose = again.track(camera.frame(n))
        rvec, tvec = pose.to_opencv()
        assert cxx[n][0] == pose.found
        assert np.allclose(cxx[n][1:4], rvec.ravel(), atol=1e-6) and np.allclose(cxx[n][4:], tvec.ravel(), atol=1e-4)


def test_rgb_grey_and_unfiltered(film):
    camera, frames = film
    bgr = tovrak.Tracker(camera.camera).track(frames[5])
    rgb = tovrak.Tracker(camera.camera).track(np.ascontiguousarray(frames[5][:, :, ::-1]), rgb=True)
    assert np.array_equal(bgr.rotation, rgb.rotation) and np.array_equal(bgr.translation, rgb.translation)
    grey = tovrak.Tracker(camera.camera).track(np.ascontiguousarray(frames[5][:, :, 1]))
    assert grey.found and angle_between(grey.rotation, bgr.rotation) < 0.5
    # Without the filter each frame's pose is its measured one.
    unfiltered = tovrak.Tracker(camera.camera, filter=False)
    for frame in frames[:10]:
        pose = unfiltered.track(frame)
    assert np.array_equal(pose.rotation, pose.measured_rotation)


def test_calibration_recovers_the_lens():
    camera = tovrak.VirtualCamera("size=640x480,fx=600,fy=600,cx=331.7,cy=228.4,k1=-0.21,k2=0.06,noise=1")
    calibrator = tovrak.Calibrator()
    for n in range(0, 480, 4):
        calibrator.add_frame(camera.frame(n))
        if calibrator.views >= 20:
            break
    fitted, truth = calibrator.calibrate(), camera.camera
    assert abs(fitted.fx - truth.fx) < 0.003 * truth.fx
    assert abs(fitted.cx - truth.cx) < 1.5 and abs(fitted.cy - truth.cy) < 1.5
    assert abs(fitted.k1 - truth.k1) < 0.02
    K, dist = fitted.to_opencv()
    assert K.shape == (3, 3) and dist.shape == (5,)


def test_steps_show_edges_and_outlines(film):
    _, frames = film
    edges = tovrak.sobel_edges(frames[0])
    assert edges.shape == frames[0].shape and edges.dtype == np.uint8
    assert (edges == 0).all(axis=2).sum() > 200
    outlines = tovrak.contours(frames[0])
    assert ((outlines[:, :, 0] == 0) & (outlines[:, :, 1] == 255) & (outlines[:, :, 2] == 0)).sum() > 100
    for step in (tovrak.smooth, tovrak.grey, tovrak.thin_edges, tovrak.corners, tovrak.regions, tovrak.hough):
        assert step(frames[0]).shape == frames[0].shape


@pytest.mark.parametrize("frame, says", [
    (np.zeros((240, 320, 3), np.float64), "uint8"),
    (np.zeros((240, 320, 4), np.uint8), "shape"),
    (np.zeros((240, 640, 3), np.uint8)[:, ::2], "contiguous"),
    (np.zeros((0, 0, 3), np.uint8), "empty"),
    (np.zeros((8, 8, 3), np.uint8), "at least"),
])
def test_bad_frames_raise_with_their_reason(film, frame, says):
    camera, _ = film
    with pytest.raises(ValueError, match=says):
        tovrak.Tracker(camera.camera).track(frame)


def test_bad_files_and_options_raise_with_their_reason(tmp_path):
    missing = str(tmp_path / "camera.yaml")
    with pytest.raises(ValueError, match="camera.yaml"):
        tovrak.Camera.from_file(missing)
    (tmp_path / "bad.yaml").write_text("%YAML:1.0\nimage_width: 320\n")
    with pytest.raises(ValueError, match="bad.yaml"):
        tovrak.Camera.from_file(str(tmp_path / "bad.yaml"))
    with pytest.raises(ValueError):
        tovrak.VirtualCamera("noise=banana")
    with pytest.raises(ValueError, match="camera"):
        tovrak.Tracker(tovrak.Camera()).track(np.zeros((240, 320, 3), np.uint8))
    with pytest.raises(ValueError):
        tovrak.Calibrator().calibrate()
