"""The target's pose from a webcam (or a video file), drawn as axes on the picture with OpenCV.

    python3 examples/track_webcam.py [SOURCE] [--camera camera.yaml] [--frames N] [--no-window]

SOURCE is a webcam's number (default 0) or a video file; q or Esc ends it. Each frame's pose is
printed as rvec and tvec in OpenCV's axes (millimetres).
"""
import argparse

import cv2
import numpy as np

import tovrak

parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
parser.add_argument("source", nargs="?", default="0")
parser.add_argument("--camera", help="a camera file (camera.yaml); else an ideal camera for the frame size")
parser.add_argument("--frames", type=int, default=0, help="stop after this many frames")
parser.add_argument("--no-window", action="store_true", help="print the poses only")
args = parser.parse_args()

capture = cv2.VideoCapture(int(args.source) if args.source.isdigit() else args.source)
ok, frame = capture.read()
if not ok:
    raise SystemExit(f"Error: {args.source} gives no frames")
height, width = frame.shape[:2]
camera = tovrak.Camera.from_file(args.camera) if args.camera else tovrak.Camera.ideal(1.03 * width, width, height)
tracker = tovrak.Tracker(camera)
K, dist = camera.to_opencv()
n = 0
while ok and (args.frames == 0 or n < args.frames):
    pose = tracker.track(frame)
    if pose.found:
        rvec, tvec = pose.to_opencv()
        print(n, " ".join(f"{v:.4f}" for v in rvec.ravel()), " ".join(f"{v:.1f}" for v in tvec.ravel()))
        cv2.drawFrameAxes(frame, K, dist, rvec, tvec, 80)
    if not args.no_window:
        cv2.imshow("tovrak", frame)
        if cv2.waitKey(1) & 0xFF in (ord("q"), 27):
            break
    ok, frame = capture.read()
    n += 1
