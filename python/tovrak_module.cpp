// The Python module `tovrak`: the library's tracker, camera, calibration, image steps and
// virtual camera, with frames as NumPy arrays (height x width x 3 in B G R order as OpenCV gives
// them, or R G B with rgb=True, or height x width grey; uint8, top row first) and results as
// NumPy arrays. Bad input raises ValueError with the reason; nothing ends the process.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <string>

#include "tovrak/tovrak.h"

namespace py = pybind11;

namespace {

// The array as a frame, viewed in place: uint8, 2 or 3 dimensions, pixels packed within a row.
tovrak::ImageView frameOf(const py::array& a, bool rgb) {
    if (a.dtype().kind() != 'u' || a.itemsize() != 1)
        throw py::value_error("the frame must be an array of uint8 (as OpenCV gives frames), not " +
                              std::string(py::str(a.dtype())));
    if (a.ndim() != 2 && !(a.ndim() == 3 && a.shape(2) == 3))
        throw py::value_error("the frame must be height x width x 3 (colour) or height x width (grey), not of shape " +
                              std::string(py::str(py::tuple(py::cast(std::vector<py::ssize_t>(a.shape(), a.shape() + a.ndim()))))));
    if (a.size() == 0) throw py::value_error("the frame is empty");
    const bool colour = a.ndim() == 3;
    if (a.strides(1) != (colour ? 3 : 1) || (colour && a.strides(2) != 1) || a.strides(0) < a.shape(1) * (colour ? 3 : 1))
        throw py::value_error("the frame's pixels are not contiguous: pass numpy.ascontiguousarray(frame)");
    tovrak::ImageView v;
    v.data = static_cast<const std::uint8_t*>(a.data());
    v.width = static_cast<int>(a.shape(1)), v.height = static_cast<int>(a.shape(0));
    v.stride = a.strides(0);
    v.format = !colour ? tovrak::PixelFormat::Grey : rgb ? tovrak::PixelFormat::Rgb : tovrak::PixelFormat::Bgr;
    // Sides beyond an int are refused by the library's own check, with their size, as too large.
    if (a.shape(0) > 1 << 20 || a.shape(1) > 1 << 20) v.width = v.height = 1 << 20;
    return v;
}

template <typename T>
T valueOf(tovrak::Result<T>&& r) {
    if (!r) throw py::value_error(r.error());
    return std::move(r).value();
}

py::array_t<std::uint8_t> arrayOf(const tovrak::Image& image) {
    py::array_t<std::uint8_t> out({image.height, image.width, 3});
    std::copy(image.pixels.begin(), image.pixels.end(), out.mutable_data());
    return out;
}

py::array_t<double> matrix(const double* v, std::vector<py::ssize_t> shape) {
    py::array_t<double> out(shape);
    std::copy(v, v + out.size(), out.mutable_data());
    return out;
}

const char* nameOf(tovrak::PoseSource s) {
    switch (s) {
        case tovrak::PoseSource::Outlines: return "outlines";
        case tovrak::PoseSource::NearLastPose: return "near last pose";
        case tovrak::PoseSource::PictureSearch: return "picture search";
        default: return "none";
    }
}

const char* nameOf(tovrak::TrackingState s) {
    switch (s) {
        case tovrak::TrackingState::Tracking: return "tracking";
        case tovrak::TrackingState::Coasting: return "coasting";
        case tovrak::TrackingState::Lost: return "lost";
        default: return "never seen";
    }
}

using Step = tovrak::Result<tovrak::Image> (*)(const tovrak::ImageView&);

}  // namespace

PYBIND11_MODULE(tovrak, m) {
    m.doc() = "Tovrak: the printed target's pose in webcam frames, the camera's calibration, and the "
              "workbench's image steps. Frames are NumPy arrays of uint8, height x width x 3 in B G R "
              "order (as OpenCV gives them; rgb=True for R G B) or height x width grey, top row first.";
    m.attr("__version__") = tovrak::version();

    py::class_<tovrak::Camera>(m, "Camera",
                               "A camera: focal lengths fx, fy and principal point cx, cy in pixels, and the lens "
                               "distortion k1, k2, p1, p2, k3, for width x height frames. cy and p1 are in Tovrak's "
                               "axes (rows counted up from the bottom); to_opencv and from_opencv convert.")
        .def(py::init<>())
        .def_static("ideal", &tovrak::Camera::ideal, py::arg("f"), py::arg("width"), py::arg("height"),
                    "The ideal camera: focal length f pixels, the optical axis through the picture's middle.")
        .def_static(
            "from_file", [](const std::string& path) { return valueOf(tovrak::Camera::fromFile(path)); }, py::arg("path"),
            "Reads a camera file in OpenCV's calibration layout (camera.yaml).")
        .def_static(
            "from_opencv",
            [](py::array_t<double, py::array::c_style | py::array::forcecast> K, py::array_t<double, py::array::c_style | py::array::forcecast> dist,
               int width, int height) {
                if (K.size() != 9) throw py::value_error("K must be 3 x 3");
                return tovrak::Camera::fromOpenCV(K.data(), dist.data(), static_cast<int>(dist.size()), width, height);
            },
            py::arg("K"), py::arg("dist"), py::arg("width"), py::arg("height"),
            "The camera of OpenCV's camera matrix K and distortion coefficients (k1 k2 p1 p2 [k3]).")
        .def(
            "to_opencv",
            [](const tovrak::Camera& c) {
                double K[9], d[5];
                c.toOpenCV(K, d);
                return py::make_tuple(matrix(K, {3, 3}), matrix(d, {5}));
            },
            "OpenCV's camera matrix K and distortion coefficients, for cv2.drawFrameAxes and cv2.projectPoints.")
        .def(
            "save",
            [](const tovrak::Camera& c, const std::string& path) {
                std::string error;
                if (!c.save(path, &error)) throw py::value_error(path + ": " + error);
            },
            py::arg("path"), "Writes the camera file (OpenCV's layout).")
        .def_readwrite("width", &tovrak::Camera::width)
        .def_readwrite("height", &tovrak::Camera::height)
        .def_readwrite("fx", &tovrak::Camera::fx)
        .def_readwrite("fy", &tovrak::Camera::fy)
        .def_readwrite("cx", &tovrak::Camera::cx)
        .def_readwrite("cy", &tovrak::Camera::cy)
        .def_readwrite("k1", &tovrak::Camera::k1)
        .def_readwrite("k2", &tovrak::Camera::k2)
        .def_readwrite("p1", &tovrak::Camera::p1)
        .def_readwrite("p2", &tovrak::Camera::p2)
        .def_readwrite("k3", &tovrak::Camera::k3)
        .def("__repr__", [](const tovrak::Camera& c) {
            return "Camera(" + std::to_string(c.width) + "x" + std::to_string(c.height) + ", fx=" + std::to_string(c.fx) +
                   ", fy=" + std::to_string(c.fy) + ", cx=" + std::to_string(c.cx) + ", cy=" + std::to_string(c.cy) +
                   ", k1=" + std::to_string(c.k1) + ")";
        });

    py::class_<tovrak::TargetPose>(m, "TargetPose",
                                   "The camera's pose on the target in one frame. rotation (3 x 3) and translation "
                                   "(mm) take a point of the target (origin at the middle of the dark rectangle, X "
                                   "along its long side, Y towards the sheet's far edge) to the camera (x right, y up "
                                   "the picture, z forward). to_opencv() gives rvec, tvec in OpenCV's axes.")
        .def_readonly("found", &tovrak::TargetPose::found, "A new pose this frame.")
        .def_property_readonly("rotation", [](const tovrak::TargetPose& p) { return matrix(p.rotation, {3, 3}); })
        .def_property_readonly("translation", [](const tovrak::TargetPose& p) { return matrix(p.translation, {3}); })
        .def_property_readonly("measured_rotation", [](const tovrak::TargetPose& p) { return matrix(p.measuredRotation, {3, 3}); },
                               "The pose measured from this frame, before the filter.")
        .def_property_readonly("measured_translation", [](const tovrak::TargetPose& p) { return matrix(p.measuredTranslation, {3}); })
        .def_property_readonly("corners", [](const tovrak::TargetPose& p) { return matrix(&p.corners[0][0], {8, 2}); },
                               "The target's eight corners (x, y) in the frame's pixels, rows from the top: the light "
                               "rectangle's four, then the dark one's.")
        .def_readonly("reprojection_error", &tovrak::TargetPose::reprojectionErrorPx, "Pixels, rms.")
        .def_property_readonly("source", [](const tovrak::TargetPose& p) { return nameOf(p.source); },
                               "Where the pose was found: 'outlines', 'near last pose', 'picture search' or 'none'.")
        .def_property_readonly("state", [](const tovrak::TargetPose& p) { return nameOf(p.state); },
                               "'never seen', 'tracking', 'coasting' or 'lost'.")
        .def(
            "to_opencv",
            [](const tovrak::TargetPose& p) {
                double r[3], t[3];
                p.toOpenCV(r, t);
                return py::make_tuple(matrix(r, {3, 1}), matrix(t, {3, 1}));
            },
            "rvec, tvec in OpenCV's axes (image y down, target y towards the sheet's near edge).")
        .def("__repr__", [](const tovrak::TargetPose& p) {
            return std::string("TargetPose(found=") + (p.found ? "True" : "False") + ", state='" + nameOf(p.state) +
                   "', translation=[" + std::to_string(p.translation[0]) + ", " + std::to_string(p.translation[1]) + ", " +
                   std::to_string(p.translation[2]) + "])";
        });

    py::class_<tovrak::FilterParameters>(m, "FilterParameters",
                                         "The pose filter's variances: of a measured angle (rad^2) and translation "
                                         "(mm^2), and of a frame's change of the angular (rad^2) and linear (mm^2) rates.")
        .def(py::init<>())
        .def_readwrite("angle_measurement_variance", &tovrak::FilterParameters::angleMeasurementVariance)
        .def_readwrite("translation_measurement_variance", &tovrak::FilterParameters::translationMeasurementVariance)
        .def_readwrite("angle_process_variance", &tovrak::FilterParameters::angleProcessVariance)
        .def_readwrite("translation_process_variance", &tovrak::FilterParameters::translationProcessVariance);

    py::class_<tovrak::Tracker>(m, "Tracker",
                                "The target tracker for one camera. track(frame) each frame; one tracker a thread "
                                "(it keeps the last pose, the filter and its buffers).")
        .def(py::init([](const tovrak::Camera& camera, bool adaptiveEdges, bool filter, const tovrak::FilterParameters& p) {
                 tovrak::TrackerOptions o;
                 o.adaptiveEdges = adaptiveEdges, o.filter = filter, o.filterParameters = p;
                 return new tovrak::Tracker(camera, o);
             }),
             py::arg("camera"), py::arg("adaptive_edges") = true, py::arg("filter") = true,
             py::arg("filter_parameters") = tovrak::FilterParameters{},
             "adaptive_edges: the edge threshold follows the light (False: the fixed 240); filter: poses smoothed "
             "by the Kalman filter (False: each frame's measured pose).")
        .def(
            "track",
            [](tovrak::Tracker& t, const py::array& frame, bool rgb) {
                const tovrak::ImageView view = frameOf(frame, rgb);
                tovrak::Result<tovrak::TargetPose> pose = tovrak::TargetPose{};
                {
                    py::gil_scoped_release free;
                    pose = t.track(view);
                }
                return valueOf(std::move(pose));
            },
            py::arg("frame"), py::arg("rgb") = false, "The pose in this frame (found False when the target is not seen).")
        .def("reset", &tovrak::Tracker::reset, "Forgets the target: the next pose starts the filter afresh.")
        .def("set_row_read_out", &tovrak::Tracker::setRowReadOut, py::arg("share"),
             "A rolling shutter reading the rows over this share of the frame interval (0: a global shutter).")
        .def_property_readonly("camera", &tovrak::Tracker::camera);

    py::class_<tovrak::Calibrator>(m, "Calibrator",
                                   "The camera calibrated from views of the printed target: add_frame() frames of it "
                                   "seen from different sides, tilted 20 to 60 degrees, then calibrate().")
        .def(py::init<>())
        .def(
            "add_frame", [](tovrak::Calibrator& c, const py::array& frame, bool rgb) { return valueOf(c.addFrame(frameOf(frame, rgb))); },
            py::arg("frame"), py::arg("rgb") = false, "True when the frame's view of the target was kept.")
        .def_property_readonly("views", &tovrak::Calibrator::views)
        .def_property_readonly("coverage", &tovrak::Calibrator::coverage, "Share of the picture the views covered, 0 to 1.")
        .def("calibrate", [](const tovrak::Calibrator& c) { return valueOf(c.calibrate()); }, "The camera (ValueError: why none).")
        .def_property_readonly("rms_error", &tovrak::Calibrator::rmsErrorPx, "The last fit's rms error, pixels.");

    py::class_<tovrak::VirtualCamera>(m, "VirtualCamera",
                                      "The printed target on a desk filmed along a hand-held path, with the truth of every "
                                      "frame. Options as tovrak --source synthetic:OPTIONS takes them, e.g. 'noise=2'.")
        .def(py::init([](const std::string& options) { return new tovrak::VirtualCamera(valueOf(tovrak::VirtualCamera::create(options))); }),
             py::arg("options") = "")
        .def("frame", [](tovrak::VirtualCamera& v, int n) { return arrayOf(v.frame(n)); }, py::arg("n"), "Frame n (B G R).")
        .def("truth", &tovrak::VirtualCamera::truth, py::arg("n"), "Frame n's true pose (found: the whole target in view).")
        .def_property_readonly("camera", &tovrak::VirtualCamera::camera);

    const struct {
        const char* name;
        Step step;
        const char* doc;
    } steps[] = {
        {"smooth", tovrak::smooth, "3 x 3 smoothing (key g without grey)."},
        {"grey", tovrak::grey, "Smoothed and grey (key g)."},
        {"sobel_edges", [](const tovrak::ImageView& f) { return tovrak::sobelEdges(f); }, "Sobel edges, black on white (keys g s)."},
        {"thin_edges", [](const tovrak::ImageView& f) { return tovrak::thinEdges(f); }, "Thin edges (key c)."},
        {"contours", tovrak::contours, "The closed outlines, the target's in colour (keys g s x)."},
        {"corners", [](const tovrak::ImageView& f) { return tovrak::corners(f); }, "Corners (key e)."},
        {"regions", tovrak::regions, "Regions and their extreme points (keys g s p)."},
        {"hough", [](const tovrak::ImageView& f) { return tovrak::hough(f); }, "The line Hough votes (keys g s h)."},
    };
    for (const auto& s : steps) {
        const Step step = s.step;
        m.def(
            s.name, [step](const py::array& frame, bool rgb) { return arrayOf(valueOf(step(frameOf(frame, rgb)))); },
            py::arg("frame"), py::arg("rgb") = false, s.doc);
    }
}
