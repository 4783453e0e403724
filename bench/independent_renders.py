#!/usr/bin/python3
"""The tracker and the calibration on pictures of the target that the virtual camera did not make.

OpenCV renders the print (10 pixels a millimetre, a paper texture of 0.5 mm texels) through a
pinhole or OpenCV's own lens model, supersampled and averaged down to the camera's pixels, and the
library (the Python module, `build/python`) measures it:

  still    a still camera at 16 views of the virtual camera's path, the exact camera given: the
           pose's bias (rotation, and camera position in % of the distance), beside the virtual
           camera's own frames of the same views;
  calibrate  an 800 x 600 camera with strong barrel distortion (k1 -0.27) from 14 views: focal
           length, principal point and k1 against the truth.

Needs numpy and OpenCV (python3-opencv); not part of the tests. Usage:
  PYTHONPATH=build/python bench/independent_renders.py still [NOISE]
  PYTHONPATH=build/python bench/independent_renders.py calibrate [LOOK_MM]
Conventions: OpenCV's axes throughout (TargetPose.to_opencv, Camera.from_opencv; docs/api.md).
"""
import sys

import cv2
import numpy as np
import tovrak

PX_PER_MM = 10.0
SHEET = (297.0, 210.0)  # A4 landscape, centred on the target


def print_picture(seed=5):
    """The print in OpenCV's target axes (Y towards the sheet's near edge), grey levels."""
    w, h = int(SHEET[0] * PX_PER_MM), int(SHEET[1] * PX_PER_MM)
    X, Yn = np.meshgrid((np.arange(w) + 0.5) / PX_PER_MM - SHEET[0] / 2, (np.arange(h) + 0.5) / PX_PER_MM - SHEET[1] / 2)
    Y = -Yn  # Tovrak's Y, towards the far edge
    ink = (np.abs(X) <= 91) & (np.abs(Y) <= 80) & ~((X > -68) & (X < 56) & (Y > -18) & (Y < 56))
    texels = np.random.default_rng(seed).normal(0, 4, (int(SHEET[1] * 2), int(SHEET[0] * 2)))
    texture = cv2.resize(texels, (w, h), interpolation=cv2.INTER_NEAREST)
    return np.clip(np.where(ink, 38.0, 236.0) + texture, 0, 255).astype(np.float32)


# Print pixel (centres at whole numbers) to millimetres on the target.
PRINT_TO_MM = np.array([[1 / PX_PER_MM, 0, 0.5 / PX_PER_MM - SHEET[0] / 2],
                        [0, 1 / PX_PER_MM, 0.5 / PX_PER_MM - SHEET[1] / 2], [0, 0, 1]])


def angle_between(Ra, Rb):
    return np.degrees(np.arccos(np.clip((np.trace(Ra @ Rb.T) - 1) / 2, -1, 1)))


def mean_pose(tracker, frames):
    rs, ts = [], []
    for f in frames:
        p = tracker.track(f)
        if p.found:
            rv, tv = p.to_opencv()
            rs.append(np.ravel(rv)), ts.append(np.ravel(tv))
    if not rs:
        return None, None, 0
    return cv2.Rodrigues(np.mean(rs, axis=0))[0], np.mean(ts, axis=0), len(rs)


def still(noise=2.0, width=320, height=240, ss=4, frames=20):
    picture = print_picture()
    path = tovrak.VirtualCamera(f"size={width}x{height}")
    camera = path.camera
    K, _ = camera.to_opencv()
    # Low-resolution pixel x to supersampled pixel u: u = ss (x + 1/2) - 1/2.
    A = np.array([[ss, 0, (ss - 1) / 2], [0, ss, (ss - 1) / 2], [0, 0, 1]])
    for n in range(0, 960, 60):
        rvec, tvec = path.truth(n).to_opencv()
        R, t = cv2.Rodrigues(np.array(rvec))[0], np.ravel(tvec)
        H = A @ K @ np.column_stack([R[:, 0], R[:, 1], t]) @ PRINT_TO_MM
        hi = cv2.warpPerspective(picture, H, (width * ss, height * ss), flags=cv2.INTER_LINEAR, borderValue=190)
        lo = cv2.resize(hi, (width, height), interpolation=cv2.INTER_AREA)
        noisy = [cv2.cvtColor(np.clip(lo + np.random.default_rng(k).normal(0, noise, lo.shape), 0, 255).astype(np.uint8),
                              cv2.COLOR_GRAY2BGR) for k in range(frames)]
        ours = tovrak.VirtualCamera(f"size={width}x{height},still=1,start={n},noise={noise}")
        line = f"view {n:3d}:"
        for name, images in (("independent", noisy), ("virtual camera", [ours.frame(k) for k in range(frames)])):
            Rm, tm, found = mean_pose(tovrak.Tracker(camera, filter=False), images)
            if Rm is None:
                line += f"  {name} not found"
                continue
            C, Ct = -Rm.T @ tm, -R.T @ t
            line += f"  {name} {found} found, rotation {angle_between(Rm, R):.3f} deg, position {100 * np.linalg.norm(C - Ct) / np.linalg.norm(Ct):.3f} %"
        print(line, flush=True)


def calibrate(look=40.0, width=800, height=600, ss=3):
    fx, cx, cy = 620.0, 403.2, 296.1
    dist = np.array([-0.27, 0.07, 0.0005, -0.0003, 0.0])
    K = np.array([[fx, 0, cx], [0, fx, cy], [0, 0, 1]])
    picture = print_picture()
    # Every supersampled pixel centre's undistorted ray, once.
    gx, gy = np.meshgrid((np.arange(width * ss) + 0.5) / ss - 0.5, (np.arange(height * ss) + 0.5) / ss - 0.5)
    points = np.stack([gx.ravel(), gy.ravel()], axis=1).reshape(-1, 1, 2)
    criteria = (cv2.TERM_CRITERIA_COUNT | cv2.TERM_CRITERIA_EPS, 40, 1e-10)
    rays = cv2.undistortPointsIter(points, K, dist, None, None, criteria).reshape(height * ss, width * ss, 2)
    rays = np.dstack([rays, np.ones(rays.shape[:2])])
    calibrator = tovrak.Calibrator()
    for k in range(14):
        distance, tilt, azimuth, roll = 420 + 60 * (k % 3), np.radians(22 + 9 * (k % 4)), np.radians(26 * k), np.radians(-12 + 5 * (k % 5))
        look_at = np.array([look * np.sin(k), 0.75 * look * np.cos(1.3 * k), 0.0])
        centre = look_at + distance * np.array([np.sin(tilt) * np.sin(azimuth), np.sin(tilt) * np.cos(azimuth), -np.cos(tilt)])
        z = (look_at - centre) / np.linalg.norm(look_at - centre)
        up = np.array([np.sin(azimuth), -np.cos(azimuth), 0.0])  # the sheet's far side up the picture
        x = np.cross(-up, z)
        x /= np.linalg.norm(x)
        R = np.array([[np.cos(roll), np.sin(roll), 0], [-np.sin(roll), np.cos(roll), 0], [0, 0, 1]]) @ np.stack([x, np.cross(z, x), z])
        t = -R @ centre
        # The ray s r of the camera meets the target's plane where (R' (s r - t))_z = 0.
        s = (R[:, 2] @ t) / (rays @ R[:, 2])
        target = (rays * s[..., None] - t) @ R
        mapx = ((target[..., 0] + SHEET[0] / 2) * PX_PER_MM - 0.5).astype(np.float32)
        mapy = ((target[..., 1] + SHEET[1] / 2) * PX_PER_MM - 0.5).astype(np.float32)
        hi = cv2.remap(picture, mapx, mapy, cv2.INTER_LINEAR, borderValue=190)
        hi[s <= 0] = 190
        lo = cv2.resize(hi, (width, height), interpolation=cv2.INTER_AREA)
        lo = np.clip(lo + np.random.default_rng(k).normal(0, 1.5, lo.shape), 0, 255).astype(np.uint8)
        calibrator.add_frame(cv2.cvtColor(lo, cv2.COLOR_GRAY2BGR))
    found = calibrator.calibrate()
    Kc, dc = found.to_opencv()
    print(f"{calibrator.views} views: fx {Kc[0, 0]:.2f} ({100 * (Kc[0, 0] / fx - 1):+.3f} %), principal point "
          f"({Kc[0, 2]:.2f}, {Kc[1, 2]:.2f}), off by ({Kc[0, 2] - cx:+.2f}, {Kc[1, 2] - cy:+.2f}) px, "
          f"k1 {dc[0]:.4f} (truth -0.27), rms {calibrator.rms_error:.3f} px")


if __name__ == "__main__":
    what = sys.argv[1] if len(sys.argv) > 1 else "still"
    if what == "still":
        still(float(sys.argv[2]) if len(sys.argv) > 2 else 2.0)
    elif what == "calibrate":
        calibrate(float(sys.argv[2]) if len(sys.argv) > 2 else 40.0)
    else:
        sys.exit(__doc__)
