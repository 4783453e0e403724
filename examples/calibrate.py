"""Calibrates a webcam (or the frames of a video) from views of the printed target.

    python3 examples/calibrate.py [SOURCE] [--out camera.yaml] [--views 20]

Move the target round the picture, tilted 20 to 60 degrees; the camera file is written when
enough different views are taken (or the source ends).
"""
import argparse

import cv2

import tovrak

parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
parser.add_argument("source", nargs="?", default="0", help="a webcam's number, or a video file")
parser.add_argument("--out", default="camera.yaml")
parser.add_argument("--views", type=int, default=20)
args = parser.parse_args()

capture = cv2.VideoCapture(int(args.source) if args.source.isdigit() else args.source)
calibrator = tovrak.Calibrator()
while calibrator.views < args.views:
    ok, frame = capture.read()
    if not ok:
        break
    if calibrator.add_frame(frame):
        print(f"view {calibrator.views}: {100 * calibrator.coverage:.0f} % of the picture covered")
camera = calibrator.calibrate()  # ValueError, with the reason, when the views cannot fix a camera
camera.save(args.out)
print(f"{camera}, rms error {calibrator.rms_error:.3f} px; wrote {args.out}")
