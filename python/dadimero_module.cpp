// The Python module `dadimero`: the library's Subtractor and
// initialDepthBackground over NumPy arrays.
//
// Arrays in are viewed in place (no copy) while the call holds a reference to
// them; arrays out are new NumPy arrays the caller owns. The GIL is released
// while the library computes, so subtractors in different Python threads run
// in parallel; each subtractor has a mutex, so one subtractor used from two
// threads at once takes the calls one after the other.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include <dadimero/dadimero.hpp>

namespace py = pybind11;

namespace {

std::string typeName(py::handle object) {
    return py::str(py::type::handle_of(object).attr("__name__"));
}

std::string shapeText(const py::array& array) {
    std::string text = "(";
    for (py::ssize_t d = 0; d < array.ndim(); ++d) {
        if (d > 0) text += ", ";
        text += std::to_string(array.shape(d));
    }
    return text + (array.ndim() == 1 ? ",)" : ")");
}

// What an input array holds, which decides the dtypes and shapes it may have.
enum class Pixels { Colour, Depth, Mask };

// A view of a NumPy array as a cv::Mat, sharing its memory. `keep` receives a
// reference to the array; the view is valid while `keep` lives.
cv::Mat viewOf(py::handle object, Pixels pixels, const std::string& what, py::array& keep) {
    if (!py::isinstance<py::array>(object)) {
        throw py::type_error(what + " must be a NumPy array, got " + typeName(object));
    }
    keep = py::reinterpret_borrow<py::array>(object);
    const bool bytes = py::isinstance<py::array_t<uint8_t>>(keep);
    const bool words = pixels == Pixels::Depth && py::isinstance<py::array_t<uint16_t>>(keep);
    if (!bytes && !words) {
        const char* wanted = pixels == Pixels::Depth ? "uint8 or uint16" : "uint8";
        throw py::type_error(what + " must have dtype " + wanted + ", got " +
                             std::string(py::str(keep.dtype())));
    }
    const bool colour = pixels == Pixels::Colour;
    if (colour ? keep.ndim() != 3 || keep.shape(2) != 3 : keep.ndim() != 2) {
        throw py::value_error(what + (colour ? " must be H x W x 3 (BGR)" : " must be H x W") +
                              ", got shape " + shapeText(keep));
    }
    if ((keep.flags() & py::array::c_style) == 0) {
        throw py::value_error(what +
                              " must be C-contiguous (numpy.ascontiguousarray makes such a copy)");
    }
    if (keep.size() == 0) throw py::value_error(what + " is empty, shape " + shapeText(keep));
    if (keep.shape(0) > INT_MAX || keep.shape(1) > INT_MAX) {
        throw py::value_error(what + " is too large, shape " + shapeText(keep));
    }
    const int type = colour ? CV_8UC3 : (bytes ? CV_8UC1 : CV_16UC1);
    // The library only reads its inputs.
    return cv::Mat(static_cast<int>(keep.shape(0)), static_cast<int>(keep.shape(1)), type,
                   const_cast<void*>(keep.data()));
}

cv::Mat optionalViewOf(py::handle object, Pixels pixels, const std::string& what, py::array& keep) {
    return object.is_none() ? cv::Mat() : viewOf(object, pixels, what, keep);
}

// A new NumPy array holding a copy of `image`, or None for an empty one. Needs the GIL.
py::object arrayOf(const cv::Mat& image) {
    if (image.empty()) return py::none();
    std::vector<py::ssize_t> shape{image.rows, image.cols};
    if (image.channels() > 1) shape.push_back(image.channels());
    py::array out = image.depth() == CV_16U ? py::array(py::dtype::of<uint16_t>(), shape)
                                            : py::array(py::dtype::of<uint8_t>(), shape);
    const size_t rowBytes = image.cols * image.elemSize();
    auto* dst = static_cast<uint8_t*>(out.mutable_data());
    for (int r = 0; r < image.rows; ++r)
        std::memcpy(dst + r * rowBytes, image.ptr(r), rowBytes);
    return out;
}

bool isBool(py::handle value) {
    return py::isinstance<py::bool_>(value) ||
           py::isinstance(value, py::module_::import("numpy").attr("bool_"));
}

// Python ints and NumPy integers; bool is refused though Python counts it as an int.
int toInt(py::handle value, const std::string& name) {
    if (isBool(value) || !py::isinstance(value, py::module_::import("numbers").attr("Integral"))) {
        throw py::type_error(name + " must be an int, got " + typeName(value));
    }
    const py::int_ integer = py::module_::import("operator").attr("index")(value);
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(integer.ptr(), &overflow);
    if (overflow != 0 || number < INT_MIN || number > INT_MAX) {
        throw py::value_error(name + " is out of range, got " +
                              std::string(py::str(py::handle(integer))));
    }
    return static_cast<int>(number);
}

// Any real number but a bool; Python's floats and ints without looking further.
double toDouble(py::handle value, const std::string& name) {
    const bool plain =
        PyFloat_Check(value.ptr()) || (PyLong_Check(value.ptr()) && !PyBool_Check(value.ptr()));
    if (!plain &&
        (isBool(value) || !py::isinstance(value, py::module_::import("numbers").attr("Real")))) {
        throw py::type_error(name + " must be a number, got " + typeName(value));
    }
    const double number = PyFloat_AsDouble(value.ptr());
    if (number == -1.0 && PyErr_Occurred()) {
        PyErr_Clear();  // an int beyond any double
        throw py::value_error(name + " is out of range");
    }
    return number;
}

float toFloat(py::handle value, const std::string& name) {
    const double number = toDouble(value, name);
    // Converting a finite double beyond float's range is undefined behaviour.
    if (std::isfinite(number) && std::fabs(number) > FLT_MAX) {
        throw py::value_error(name + " is out of range for a 32-bit float, got " +
                              std::string(py::str(value)));
    }
    return static_cast<float>(number);
}

bool toBool(py::handle value, const std::string& name) {
    if (!isBool(value)) throw py::type_error(name + " must be a bool, got " + typeName(value));
    return value.cast<bool>();
}

// The settings, by the C++ field names, with what each means.
struct SettingsField {
    const char* name;
    std::variant<int dadimero::Settings::*, float dadimero::Settings::*, bool dadimero::Settings::*>
        member;
    const char* meaning;
};

const SettingsField kSettingsFields[] = {
    {"n", &dadimero::Settings::n, "block side: each pixel holds n x n weights; 1, 3, 5, 7 or 9"},
    {"K", &dadimero::Settings::K, "the first K - 1 frames given to apply() calibrate the models"},
    {"e1", &dadimero::Settings::e1, "colour distance threshold while calibrating"},
    {"e2", &dadimero::Settings::e2, "colour distance threshold online"},
    {"e1D", &dadimero::Settings::e1D, "depth threshold while calibrating"},
    {"e2D", &dadimero::Settings::e2D, "depth threshold online; 0.005 replaces it for uint8 depth"},
    {"c1", &dadimero::Settings::c1, "learning rate while calibrating (falls towards c2)"},
    {"c2", &dadimero::Settings::c2, "learning rate online"},
    {"Cw", &dadimero::Settings::Cw, "5: 5 x 5 spatial majority filter; any other value: 3 x 3"},
    {"shadowRemoval", &dadimero::Settings::shadowRemoval, "shadow removal on or off"},
    {"gamma", &dadimero::Settings::gamma, "shadow test: lower bound of the brightness ratio"},
    {"beta", &dadimero::Settings::beta, "shadow test: upper bound of the brightness ratio"},
    {"tauS", &dadimero::Settings::tauS, "shadow test: saturation threshold"},
    {"tauH", &dadimero::Settings::tauH, "shadow test: hue threshold, degrees"},
    {"threads", &dadimero::Settings::threads,
     "worker threads, 0 for one per core; the masks are the same for every value"},
};

dadimero::Settings settingsOf(const py::kwargs& keywords) {
    dadimero::Settings settings;
    for (const auto& [key, value] : keywords) {
        const std::string name = py::str(key);
        const SettingsField* field = nullptr;
        for (const SettingsField& f : kSettingsFields)
            if (name == f.name) field = &f;
        if (field == nullptr) {
            throw py::type_error("Subtractor() got an unexpected keyword argument '" + name + "'");
        }
        std::visit(
            [&](auto member) {
                auto& target = settings.*member;
                using Field = std::remove_reference_t<decltype(target)>;
                if constexpr (std::is_same_v<Field, int>) {
                    target = toInt(value, name);
                } else if constexpr (std::is_same_v<Field, float>) {
                    target = toFloat(value, name);
                } else {
                    target = toBool(value, name);
                }
            },
            field->member);
    }
    return settings;
}

// The settings with their defaults, taken from a default Settings, for the docstring.
std::string settingsHelp() {
    const dadimero::Settings defaults;
    std::ostringstream text;
    for (const SettingsField& field : kSettingsFields) {
        std::ostringstream value;
        std::visit(
            [&](auto member) {
                const auto& v = defaults.*member;
                using Field = std::remove_cvref_t<decltype(v)>;
                if constexpr (std::is_same_v<Field, bool>) {
                    value << (v ? "True" : "False");
                } else {
                    value << v;
                    // Python writes a float with a point.
                    if (std::is_same_v<Field, float> && v == std::floor(v)) value << ".0";
                }
            },
            field.member);
        const std::string assignment = std::string(field.name) + "=" + value.str();
        text << "    " << assignment
             << std::string(assignment.size() < 20 ? 20 - assignment.size() : 1, ' ')
             << field.meaning << "\n";
    }
    return text.str();
}

// A Subtractor with a mutex: calls from several threads are taken one at a time.
class LockedSubtractor {
  public:
    LockedSubtractor(const dadimero::Settings& settings, const cv::Mat& colour,
                     const cv::Mat& depth, const cv::Mat& roi)
        : subtractor_(settings, colour, depth, roi) {}

    // Runs body(subtractor) without the GIL and under the mutex. The GIL is
    // released first: a thread holding the mutex never waits for the GIL.
    template <typename Body>
    auto locked(Body&& body) {
        const py::gil_scoped_release released;
        const std::lock_guard<std::mutex> lock(mutex_);
        return body(subtractor_);
    }

  private:
    std::mutex mutex_;
    dadimero::Subtractor subtractor_;
};

const char* const kModuleDoc = R"(Background subtraction for RGB-D video (DADI-MERO).

A self-learning, per-pixel model of colour and depth labels every pixel of a
frame background or foreground; the masks are exactly those of the DADI-MERO
program fed the same frames with the same settings.

    import cv2, dadimero
    background = cv2.imread("seq/CinitImageL.png", cv2.IMREAD_COLOR)
    depths = [cv2.imread(f"seq/depth/d{f:06d}.png", cv2.IMREAD_ANYDEPTH) for f in range(1, 101)]
    s = dadimero.Subtractor(background, dadimero.initial_depth_background(depths), K=50)
    for f in range(2, 201):
        colour = cv2.imread(f"seq/input/in{f:06d}.png", cv2.IMREAD_COLOR)
        depth = cv2.imread(f"seq/depth/d{f:06d}.png", cv2.IMREAD_ANYDEPTH)
        mask = s.apply(colour, depth)          # None while calibrating

Images are NumPy arrays as OpenCV's cv2 gives them, C-contiguous: colour is
uint8 H x W x 3 in BGR order; depth is uint8 or uint16 H x W, 0 meaning no
measurement and larger farther; a region of interest is uint8 H x W, nonzero
inside. A wrong dtype or a non-array raises TypeError, a wrong shape or any
other bad input ValueError, running out of memory MemoryError.)";

const char* const kInitialDepthBackgroundDoc =
    R"(initial_depth_background(depth_frames, roi=None) -> numpy.ndarray

The initial depth background of the given depth frames: per pixel inside the
region of interest the largest value, 0 outside.

depth_frames: a non-empty sequence of depth frames (a list of arrays, or an
    N x H x W array), all uint8 or all uint16, H x W. DADI-MERO uses its frames
    ini .. min(end, 100).
roi: None for every pixel, or a uint8 H x W array, nonzero inside.

Returns a new H x W array of the frames' dtype, for Subtractor's
depth_background.)";

const char* const kApplyDoc =
    R"(apply(colour, depth=None, learning_rate=-1.0) -> numpy.ndarray | None

Takes the next frame. Returns None while the frame calibrates the models (the
first K - 1 frames), else the final mask: a new uint8 H x W array, 255
foreground and 0 background.

colour: uint8 H x W x 3, BGR, the background's size.
depth: the aligned depth frame, uint8 or uint16 H x W, for a subtractor built
    with a depth background; None (and only None) for one built without.
learning_rate: below 0 the settings' rates (c1 falling to c2 while
    calibrating, then c2); 0 leaves the models as they are; above 0 this frame
    learns as with that value for c.

Bad input raises TypeError or ValueError and leaves the subtractor unchanged.
The GIL is released while the frame is processed.)";

}  // namespace

PYBIND11_MODULE(_dadimero, m) {
    // Each docstring starts with its Python signature, clearer than pybind11's.
    py::options options;
    options.disable_function_signatures();

    m.doc() = kModuleDoc;
    m.attr("__version__") = DADI_MERO_VERSION;
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) std::rethrow_exception(thrown);
        } catch (const cv::Exception& failure) {
            PyObject* type =
                failure.code == cv::Error::StsNoMem ? PyExc_MemoryError : PyExc_ValueError;
            PyErr_SetString(type, failure.err.c_str());
        }
    });

    m.def(
        "initial_depth_background",
        [](py::handle frames, py::handle roi) {
            if (py::isinstance<py::str>(frames) || py::isinstance<py::bytes>(frames) ||
                !py::isinstance<py::iterable>(frames)) {
                throw py::type_error("depth_frames must be a sequence of NumPy arrays, got " +
                                     typeName(frames));
            }
            std::vector<py::array> keep;
            std::vector<cv::Mat> views;
            for (py::handle frame : frames) {
                keep.emplace_back();
                const std::string what = "depth_frames[" + std::to_string(views.size()) + "]";
                views.push_back(viewOf(frame, Pixels::Depth, what, keep.back()));
            }
            if (views.empty()) {
                throw py::value_error("initial_depth_background needs at least one depth frame");
            }
            py::array keepRoi;
            const cv::Mat roiView = optionalViewOf(roi, Pixels::Mask, "roi", keepRoi);
            cv::Mat background;
            {
                const py::gil_scoped_release released;
                background = dadimero::initialDepthBackground(views, roiView);
            }
            return arrayOf(background);
        },
        py::arg("depth_frames"), py::arg("roi") = py::none(), kInitialDepthBackgroundDoc);

    static const std::string subtractorDoc =
        R"(Subtractor(colour_background, depth_background=None, roi=None, **settings)

Background subtraction frame by frame: build it once, call apply() per frame.

colour_background: uint8 H x W x 3, BGR, an estimate of the empty scene (at
    least 5 x 5 pixels for the 5 x 5 filter, 2 x 2 for the 3 x 3 one).
depth_background: None for colour alone, else uint8 or uint16 H x W (see
    initial_depth_background); its dtype decides e2D and the dtype of
    depth_model_image().
roi: None for every pixel, else uint8 H x W, nonzero inside; pixels outside
    are never foreground and never learnt.

Settings, as keywords (the defaults are the DADI-MERO program's):
)" + settingsHelp() +
        R"(
An unknown keyword or a value of the wrong type raises TypeError; a value the
library refuses (n=4, threads=-1) raises ValueError.

Fed frames ini + 1 .. end of a sequence with K = fromIdx - ini, it gives exactly
DADI-MERO's masks. Several subtractors run in parallel from Python threads; one
subtractor used from several threads at once takes the calls one at a time (a
mutex), so the frames' order is then the order the calls win the lock.)";

    py::class_<LockedSubtractor>(m, "Subtractor", subtractorDoc.c_str())
        .def(py::init([](py::handle colour, py::handle depth, py::handle roi,
                         const py::kwargs& keywords) {
                 const dadimero::Settings settings = settingsOf(keywords);
                 py::array keepColour;
                 py::array keepDepth;
                 py::array keepRoi;
                 const cv::Mat colourView =
                     viewOf(colour, Pixels::Colour, "colour_background", keepColour);
                 const cv::Mat depthView =
                     optionalViewOf(depth, Pixels::Depth, "depth_background", keepDepth);
                 const cv::Mat roiView = optionalViewOf(roi, Pixels::Mask, "roi", keepRoi);
                 const py::gil_scoped_release released;
                 return std::make_unique<LockedSubtractor>(settings, colourView, depthView,
                                                           roiView);
             }),
             py::arg("colour_background"), py::arg("depth_background") = py::none(),
             py::arg("roi") = py::none(),
             "__init__(colour_background, depth_background=None, roi=None, **settings)\n\n"
             "See help(dadimero.Subtractor).")
        .def(
            "apply",
            [](LockedSubtractor& self, py::handle colour, py::handle depth,
               py::handle learningRate) {
                py::array keepColour;
                py::array keepDepth;
                const cv::Mat colourView = viewOf(colour, Pixels::Colour, "colour", keepColour);
                const cv::Mat depthView = optionalViewOf(depth, Pixels::Depth, "depth", keepDepth);
                const double rate = toDouble(learningRate, "learning_rate");
                const cv::Mat mask = self.locked([&](dadimero::Subtractor& s) {
                    cv::Mat out;
                    if (depthView.empty()) {
                        s.apply(colourView, out, rate);
                    } else {
                        s.apply(colourView, depthView, out, rate);
                    }
                    return out;
                });
                return arrayOf(mask);
            },
            py::arg("colour"), py::arg("depth") = py::none(), py::arg("learning_rate") = -1.0,
            kApplyDoc)
        .def_property_readonly(
            "calibrating",
            [](LockedSubtractor& self) {
                return self.locked([](dadimero::Subtractor& s) { return s.calibrating(); });
            },
            "True while the next apply() calibrates (returns None).")
        .def_property_readonly(
            "uses_depth",
            [](LockedSubtractor& self) {
                return self.locked([](dadimero::Subtractor& s) { return s.usesDepth(); });
            },
            "True for a subtractor built with a depth background: apply() then needs depth.")
        .def(
            "background_image",
            [](LockedSubtractor& self) {
                return arrayOf(self.locked([](dadimero::Subtractor& s) {
                    cv::Mat image;
                    s.getBackgroundImage(image);
                    return image;
                }));
            },
            "background_image() -> numpy.ndarray\n\n"
            "The colour model as a picture: a new uint8 H x W x 3 BGR array, for every\n"
            "pixel the centre weight of its block.")
        .def(
            "colour_mask",
            [](LockedSubtractor& self) {
                return arrayOf(self.locked([](dadimero::Subtractor& s) {
                    cv::Mat mask;
                    s.getColourMask(mask);
                    return mask;
                }));
            },
            "colour_mask() -> numpy.ndarray | None\n\n"
            "The colour mask of the last online frame, before fusion and filtering: a new\n"
            "uint8 H x W array, 0/255. None before the first online frame.")
        .def(
            "depth_mask",
            [](LockedSubtractor& self) {
                return arrayOf(self.locked([](dadimero::Subtractor& s) {
                    cv::Mat mask;
                    s.getDepthMask(mask);
                    return mask;
                }));
            },
            "depth_mask() -> numpy.ndarray | None\n\n"
            "The depth mask of the last online frame, before fusion and filtering: a new\n"
            "uint8 H x W array, 0/255. None before the first online frame and without depth.")
        .def(
            "colour_model_image",
            [](LockedSubtractor& self) {
                return arrayOf(self.locked([](dadimero::Subtractor& s) {
                    cv::Mat image;
                    s.getColourModelImage(image);
                    return image;
                }));
            },
            "colour_model_image() -> numpy.ndarray\n\n"
            "The colour model, one pixel per weight: a new uint8 (H*n) x (W*n) x 3 BGR\n"
            "array in which pixel (r, c) shows as the n x n tile of its block.")
        .def(
            "depth_model_image",
            [](LockedSubtractor& self) {
                return arrayOf(self.locked([](dadimero::Subtractor& s) {
                    cv::Mat image;
                    s.getDepthModelImage(image);
                    return image;
                }));
            },
            "depth_model_image() -> numpy.ndarray | None\n\n"
            "The depth model, one pixel per weight: a new (H*n) x (W*n) array of the depth\n"
            "background's dtype, a weight w stored as w x 2^bits. None without depth.")
        .def(
            "set_depth_background",
            [](LockedSubtractor& self, py::handle depth) {
                py::array keep;
                const cv::Mat view = viewOf(depth, Pixels::Depth, "depth_background", keep);
                self.locked([&](dadimero::Subtractor& s) { s.setDepthBackground(view); });
            },
            py::arg("depth_background"),
            "set_depth_background(depth_background) -> None\n\n"
            "Starts the depth model afresh from a new depth background (uint8 or uint16\n"
            "H x W; its dtype decides e2D), as the constructor does. Only for a subtractor\n"
            "built with depth; the colour model and the frame count stay.");
}
