// The Python module `dadimero`: the library's Subtractor and
// initialDepthBackground over NumPy arrays.
//
// Arrays in are viewed in place while the call holds a reference to them, or
// copied first when they are not C-contiguous (a crop, a flip, Fortran order),
// as cv2 does; arrays out are new NumPy arrays the caller owns. Arguments are
// bound by the module itself, so that no error message ever shows an array. The GIL is released
// while the library computes, so subtractors in different Python threads run
// in parallel; each subtractor has a mutex, so one subtractor used from two
// threads at once takes the calls one after the other.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <system_error>
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
    if (keep.size() == 0) throw py::value_error(what + " is empty, shape " + shapeText(keep));
    if (keep.shape(0) > INT_MAX || keep.shape(1) > INT_MAX) {
        throw py::value_error(what + " is too large, shape " + shapeText(keep));
    }
    if ((keep.flags() & py::array::c_style) == 0) {
        keep = py::module_::import("numpy").attr("ascontiguousarray")(keep);
    }
    const int type = colour ? CV_8UC3 : (bytes ? CV_8UC1 : CV_16UC1);
    // The library only reads its inputs.
    return cv::Mat(static_cast<int>(keep.shape(0)), static_cast<int>(keep.shape(1)), type,
                   const_cast<void*>(keep.data()));
}

cv::Mat optionalViewOf(py::handle object, Pixels pixels, const std::string& what, py::array& keep) {
    return object.is_none() ? cv::Mat() : viewOf(object, pixels, what, keep);
}

// Views of a sequence of arrays (a list, or an N x ... array), named
// what[0], what[1], ... in messages.
void viewsOf(py::handle frames, Pixels pixels, const std::string& what,
             std::vector<py::array>& keep, std::vector<cv::Mat>& views) {
    if (py::isinstance<py::str>(frames) || py::isinstance<py::bytes>(frames) ||
        !py::isinstance<py::iterable>(frames)) {
        throw py::type_error(what + " must be a sequence of NumPy arrays, got " + typeName(frames));
    }
    size_t index = 0;
    for (py::handle frame : frames) {
        keep.emplace_back();
        const std::string name = what + "[" + std::to_string(index++) + "]";
        views.push_back(viewOf(frame, pixels, name, keep.back()));
    }
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
    {"shadowValue", &dadimero::Settings::shadowValue,
     "mask value of a shadow the mask calls background; 0 .. 254 (127 as MOG2)"},
    {"threads", &dadimero::Settings::threads,
     "worker threads, 0 for one per core, at most one per 16 rows of the frame; the masks "
     "are the same for every value"},
};

// The arguments of one call, bound to their names as Python binds them, with
// Python's messages; a value is never printed.
class Arguments {
  public:
    // names: the parameters in order; the first `required` must be given.
    // With `otherKeywords`, keywords that are not parameters are kept for the
    // caller (see rest()); otherwise they are refused.
    Arguments(std::string function, const py::args& args, const py::kwargs& keywords,
              std::vector<const char*> names, size_t required, bool otherKeywords = false)
        : function_(std::move(function)), names_(std::move(names)), values_(names_.size()) {
        if (args.size() > names_.size()) {
            throw py::type_error(function_ + "() takes at most " + std::to_string(names_.size()) +
                                 " positional arguments but " + std::to_string(args.size()) +
                                 " were given");
        }
        for (size_t i = 0; i < args.size(); ++i)
            values_[i] = py::reinterpret_borrow<py::object>(args[i]);
        for (const auto& [key, value] : keywords) {
            const std::string name = py::str(key);
            size_t index = 0;
            while (index < names_.size() && name != names_[index])
                ++index;
            if (index == names_.size()) {
                if (!otherKeywords) {
                    throw py::type_error(function_ + "() got an unexpected keyword argument '" +
                                         name + "'");
                }
                rest_[key] = value;
            } else if (values_[index]) {
                throw py::type_error(function_ + "() got multiple values for argument '" + name +
                                     "'");
            } else {
                values_[index] = py::reinterpret_borrow<py::object>(value);
            }
        }
        for (size_t i = 0; i < required; ++i) {
            if (!values_[i]) {
                throw py::type_error(function_ + "() missing required argument '" + names_[i] +
                                     "'");
            }
        }
    }
    // The i-th parameter's value, None when not given.
    py::object operator[](size_t i) const { return values_[i] ? values_[i] : py::none(); }
    const py::dict& rest() const { return rest_; }

  private:
    std::string function_;
    std::vector<const char*> names_;
    std::vector<py::object> values_;
    py::dict rest_;
};

dadimero::Settings settingsOf(const py::dict& keywords) {
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

// A value of the type of a Settings field, converted from Python.
template <typename Field>
Field fieldValue(py::handle value, const std::string& name) {
    if constexpr (std::is_same_v<Field, int>) {
        return toInt(value, name);
    } else if constexpr (std::is_same_v<Field, float>) {
        return toFloat(value, name);
    } else {
        return toBool(value, name);
    }
}

// A path as Python gives it: str or os.PathLike.
std::string pathOf(py::handle value, const std::string& name) {
    if (!py::isinstance<py::str>(value) &&
        !py::isinstance(value, py::module_::import("os").attr("PathLike"))) {
        throw py::type_error(name + " must be a str or os.PathLike, got " + typeName(value));
    }
    return py::str(py::module_::import("os").attr("fspath")(value));
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

From frames alone, as with cv2's subtractors (the first frame is the
background, the next K - 1 calibrate):

    import cv2, dadimero
    camera = cv2.VideoCapture(0)
    subtractor = dadimero.Subtractor()
    while (frame := camera.read()[1]) is not None:
        mask = subtractor.apply(frame)         # None for the first K frames

From known backgrounds (here a sequence of the DADI-MERO layout):

    background = cv2.imread("seq/CinitImageL.png", cv2.IMREAD_COLOR)
    depths = [cv2.imread(f"seq/depth/d{f:06d}.png", cv2.IMREAD_ANYDEPTH) for f in range(1, 101)]
    s = dadimero.Subtractor(background, dadimero.initial_depth_background(depths), K=50)
    for f in range(2, 201):
        colour = cv2.imread(f"seq/input/in{f:06d}.png", cv2.IMREAD_COLOR)
        depth = cv2.imread(f"seq/depth/d{f:06d}.png", cv2.IMREAD_ANYDEPTH)
        mask = s.apply(colour, depth)          # None while calibrating

Images are NumPy arrays as OpenCV's cv2 gives them, of any memory layout (a
non-contiguous one is copied): colour is uint8 H x W x 3 in BGR order; depth is
uint8 or uint16 H x W, 0 meaning no measurement and larger farther; a region of
interest is uint8 H x W, nonzero inside. A wrong dtype, a non-array or a wrong
argument raises TypeError, a wrong shape, a refused setting or any other bad
input ValueError, a file that cannot be opened OSError, running out of memory
MemoryError.)";

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

const char* const kEstimateBackgroundDoc =
    R"(estimate_background(colour_frames, depth_frames=None) -> (numpy.ndarray, numpy.ndarray | None)

Backgrounds from a few frames of the scene, for Subtractor: per pixel the
median of the colour frames (uint8 H x W x 3; of an even count the mean of the
two middle values, rounded up), and the depth background of
initial_depth_background(depth_frames), or None without depth frames. Moving
objects vanish from the colour background where they cover a pixel in fewer
than half of the frames.)";

const char* const kApplyDoc =
    R"(apply(colour, depth=None, learning_rate=-1.0) -> numpy.ndarray | None

Takes the next frame. Returns None while the frame starts or calibrates the
models (the first frame of a subtractor built without backgrounds, and the
next K - 1 frames), else the final mask: a new uint8 H x W array, 255
foreground, 0 background and shadowValue for a shadow the mask calls
background.

colour: uint8 H x W x 3, BGR, of the subtractor's frame size.
depth: the aligned depth frame, uint8 or uint16 H x W, for a subtractor that
    uses depth; None (and only None) for one without. A subtractor built
    without backgrounds uses depth when its first frame has it.
learning_rate: as in cv2: below 0 the settings' rates (c1 falling to c2 while
    calibrating, then c2); 0 leaves the models as they are; between 0 and 1
    this frame learns as with that value for c; 1 starts the models afresh from
    this frame (which then gives None, as a first frame); above 1 or NaN is
    refused.

Bad input raises TypeError or ValueError and leaves the subtractor unchanged.
The GIL is released while the frame is processed.)";

// A subtractor method that returns an image, or None.
template <typename Get>
py::object imageFrom(LockedSubtractor& self, Get&& get) {
    return arrayOf(self.locked([&](dadimero::Subtractor& s) {
        cv::Mat image;
        get(s, image);
        return image;
    }));
}

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
            PyObject* type = PyExc_ValueError;
            if (failure.code == cv::Error::StsNoMem) type = PyExc_MemoryError;
            if (failure.code == cv::Error::StsError) type = PyExc_OSError;
            PyErr_SetString(type, failure.err.c_str());
        }
    });

    m.def(
        "initial_depth_background",
        [](const py::args& args, const py::kwargs& keywords) {
            const Arguments arguments("initial_depth_background", args, keywords,
                                      {"depth_frames", "roi"}, 1);
            py::object frames = arguments[0];
            std::vector<py::array> keep;
            std::vector<cv::Mat> views;
            viewsOf(frames, Pixels::Depth, "depth_frames", keep, views);
            if (views.empty()) {
                throw py::value_error("initial_depth_background needs at least one depth frame");
            }
            py::array keepRoi;
            const cv::Mat roiView = optionalViewOf(arguments[1], Pixels::Mask, "roi", keepRoi);
            cv::Mat background;
            {
                const py::gil_scoped_release released;
                background = dadimero::initialDepthBackground(views, roiView);
            }
            return arrayOf(background);
        },
        kInitialDepthBackgroundDoc);

    m.def(
        "estimate_background",
        [](const py::args& args, const py::kwargs& keywords) {
            const Arguments arguments("estimate_background", args, keywords,
                                      {"colour_frames", "depth_frames"}, 1);
            std::vector<py::array> keep;
            std::vector<cv::Mat> colourViews;
            std::vector<cv::Mat> depthViews;
            viewsOf(arguments[0], Pixels::Colour, "colour_frames", keep, colourViews);
            if (colourViews.empty()) {
                throw py::value_error("estimate_background needs at least one colour frame");
            }
            if (!arguments[1].is_none()) {
                viewsOf(arguments[1], Pixels::Depth, "depth_frames", keep, depthViews);
                if (depthViews.empty()) {
                    throw py::value_error("depth_frames is empty: give None for colour alone");
                }
            }
            dadimero::Backgrounds backgrounds;
            {
                const py::gil_scoped_release released;
                backgrounds = dadimero::estimateBackground(colourViews, depthViews);
            }
            return py::make_tuple(arrayOf(backgrounds.colour), arrayOf(backgrounds.depth));
        },
        kEstimateBackgroundDoc);

    static const std::string subtractorDoc =
        R"(Subtractor(colour_background=None, depth_background=None, roi=None, **settings)

Background subtraction frame by frame: build it once, call apply() per frame.

colour_background: None to take the backgrounds from the first frame given to
    apply(), else uint8 H x W x 3, BGR, an estimate of the empty scene (at
    least 5 x 5 pixels for the 5 x 5 filter, 2 x 2 for the 3 x 3 one; see
    estimate_background).
depth_background: None for colour alone, else uint8 or uint16 H x W (see
    initial_depth_background); its dtype decides e2D and the dtype of
    depth_model_image(). Only with a colour background.
roi: None for every pixel, else uint8 H x W, nonzero inside; pixels outside
    are never foreground and never learnt.

Settings, as keywords (the defaults are the DADI-MERO program's):
)" + settingsHelp() +
        R"(
Each setting is also a property of the same name; all but n and threads may
change between frames (n and threads only before the first frame of a
subtractor built without backgrounds). An unknown keyword or a value of the
wrong type raises TypeError; a value without meaning (n=4, c2=5, gamma above
beta, NaN) raises ValueError naming the setting.

save_settings()/load_settings() keep the settings in a cv2.FileStorage file;
save_state()/load_state() the whole subtractor, to continue later exactly
where it stopped; clear() returns it to its start.

Fed frames ini + 1 .. end of a sequence with K = fromIdx - ini, it gives exactly
DADI-MERO's masks. Several subtractors run in parallel from Python threads; one
subtractor used from several threads at once takes the calls one at a time (a
mutex), so the frames' order is then the order the calls win the lock.)";

    py::class_<LockedSubtractor> subtractor(m, "Subtractor", subtractorDoc.c_str());
    subtractor
        .def(py::init([](const py::args& args, const py::kwargs& keywords) {
                 const Arguments arguments("Subtractor", args, keywords,
                                           {"colour_background", "depth_background", "roi"}, 0,
                                           true);
                 const dadimero::Settings settings = settingsOf(arguments.rest());
                 py::array keepColour;
                 py::array keepDepth;
                 py::array keepRoi;
                 const cv::Mat colourView =
                     optionalViewOf(arguments[0], Pixels::Colour, "colour_background", keepColour);
                 const cv::Mat depthView =
                     optionalViewOf(arguments[1], Pixels::Depth, "depth_background", keepDepth);
                 if (colourView.empty() && !depthView.empty()) {
                     throw py::value_error(
                         "depth_background needs a colour_background; give neither to take both "
                         "from the first frame");
                 }
                 const cv::Mat roiView = optionalViewOf(arguments[2], Pixels::Mask, "roi", keepRoi);
                 const py::gil_scoped_release released;
                 return std::make_unique<LockedSubtractor>(settings, colourView, depthView,
                                                           roiView);
             }),
             "__init__(colour_background=None, depth_background=None, roi=None, **settings)\n\n"
             "See help(dadimero.Subtractor).")
        .def(
            "apply",
            [](LockedSubtractor& self, const py::args& args, const py::kwargs& keywords) {
                const Arguments arguments("apply", args, keywords,
                                          {"colour", "depth", "learning_rate"}, 1);
                py::array keepColour;
                py::array keepDepth;
                const cv::Mat colourView =
                    viewOf(arguments[0], Pixels::Colour, "colour", keepColour);
                const cv::Mat depthView =
                    optionalViewOf(arguments[1], Pixels::Depth, "depth", keepDepth);
                const py::object rateArgument = arguments[2];
                const double rate =
                    rateArgument.is_none() ? -1.0 : toDouble(rateArgument, "learning_rate");
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
            kApplyDoc)
        .def_property_readonly(
            "calibrating",
            [](LockedSubtractor& self) {
                return self.locked([](dadimero::Subtractor& s) { return s.calibrating(); });
            },
            "True while the next apply() returns None: the first frame of a subtractor built\n"
            "without backgrounds, and the calibration frames.")
        .def_property_readonly(
            "uses_depth",
            [](LockedSubtractor& self) {
                return self.locked([](dadimero::Subtractor& s) { return s.usesDepth(); });
            },
            "True for a subtractor that uses depth (built with a depth background, or\n"
            "started from a first frame with depth): apply() then needs depth.")
        .def(
            "background_image",
            [](LockedSubtractor& self) {
                return imageFrom(self, [](dadimero::Subtractor& s, cv::Mat& image) {
                    s.getBackgroundImage(image);
                });
            },
            "background_image() -> numpy.ndarray | None\n\n"
            "The colour model as a picture: a new uint8 H x W x 3 BGR array, for every\n"
            "pixel the centre weight of its block. None before the first frame.")
        .def(
            "colour_mask",
            [](LockedSubtractor& self, const py::args& args, const py::kwargs& keywords) {
                const Arguments arguments("colour_mask", args, keywords, {"label_codes"}, 0);
                const bool codes = !arguments[0].is_none() && toBool(arguments[0], "label_codes");
                return imageFrom(self, [&](dadimero::Subtractor& s, cv::Mat& image) {
                    s.getColourMask(image, codes);
                });
            },
            "colour_mask(label_codes=False) -> numpy.ndarray | None\n\n"
            "The colour mask of the last online frame, before fusion and filtering: a new\n"
            "uint8 H x W array, 0/255, or with label_codes 0 background, 85 shadow, 255\n"
            "foreground. None before the first online frame.")
        .def(
            "depth_mask",
            [](LockedSubtractor& self, const py::args& args, const py::kwargs& keywords) {
                const Arguments arguments("depth_mask", args, keywords, {"label_codes"}, 0);
                const bool codes = !arguments[0].is_none() && toBool(arguments[0], "label_codes");
                return imageFrom(self, [&](dadimero::Subtractor& s, cv::Mat& image) {
                    s.getDepthMask(image, codes);
                });
            },
            "depth_mask(label_codes=False) -> numpy.ndarray | None\n\n"
            "The depth mask of the last online frame, before fusion and filtering: a new\n"
            "uint8 H x W array, 0/255, or with label_codes 0 background, 127 undecided (no\n"
            "measurement or no model), 255 foreground. None before the first online frame\n"
            "and without depth.")
        .def(
            "colour_model_image",
            [](LockedSubtractor& self) {
                return imageFrom(self, [](dadimero::Subtractor& s, cv::Mat& image) {
                    s.getColourModelImage(image);
                });
            },
            "colour_model_image() -> numpy.ndarray | None\n\n"
            "The colour model, one pixel per weight: a new uint8 (H*n) x (W*n) x 3 BGR\n"
            "array in which pixel (r, c) shows as the n x n tile of its block. None before\n"
            "the first frame.")
        .def(
            "depth_model_image",
            [](LockedSubtractor& self) {
                return imageFrom(self, [](dadimero::Subtractor& s, cv::Mat& image) {
                    s.getDepthModelImage(image);
                });
            },
            "depth_model_image() -> numpy.ndarray | None\n\n"
            "The depth model, one pixel per weight: a new (H*n) x (W*n) array of the depth\n"
            "background's dtype, a weight w stored as w x 2^bits. None without depth.")
        .def(
            "set_depth_background",
            [](LockedSubtractor& self, const py::args& args, const py::kwargs& keywords) {
                const Arguments arguments("set_depth_background", args, keywords,
                                          {"depth_background"}, 1);
                py::array keep;
                const cv::Mat view = viewOf(arguments[0], Pixels::Depth, "depth_background", keep);
                self.locked([&](dadimero::Subtractor& s) {
                    if (!s.usesDepth()) {
                        throw py::value_error(
                            "set_depth_background needs a subtractor that uses depth");
                    }
                    s.setDepthBackground(view);
                });
            },
            "set_depth_background(depth_background) -> None\n\n"
            "Starts the depth model afresh from a new depth background (uint8 or uint16\n"
            "H x W; its dtype decides e2D), as the constructor does. Only for a subtractor\n"
            "that uses depth; the colour model and the frame count stay.")
        .def(
            "clear",
            [](LockedSubtractor& self) { self.locked([](dadimero::Subtractor& s) { s.clear(); }); },
            "clear() -> None\n\n"
            "Returns the subtractor to its start: the backgrounds it was built with (the\n"
            "last depth background set), or, built without them, waiting for its first\n"
            "frame; calibration starts again. The settings stay.")
        .def(
            "save_settings",
            [](LockedSubtractor& self, const py::args& args, const py::kwargs& keywords) {
                const Arguments arguments("save_settings", args, keywords, {"path"}, 1);
                const std::string path = pathOf(arguments[0], "path");
                self.locked([&](dadimero::Subtractor& s) {
                    // OpenCV would log a file it cannot open; the error says it.
                    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
                    std::error_code error;
                    if (!folder.empty() && !std::filesystem::is_directory(folder, error)) {
                        throw cv::Exception(cv::Error::StsError,
                                            "cannot write the settings file " + path, "", "", 0);
                    }
                    cv::FileStorage fs;
                    try {
                        fs.open(path, cv::FileStorage::WRITE);
                    } catch (const cv::Exception&) {
                        fs.release();
                    }
                    if (!fs.isOpened()) {
                        throw cv::Exception(cv::Error::StsError,
                                            "cannot write the settings file " + path, "", "", 0);
                    }
                    fs << s.getDefaultName() << "{";
                    s.write(fs);
                    fs << "}";
                });
            },
            "save_settings(path) -> None\n\n"
            "Writes the settings to a cv2.FileStorage file (.yml, .xml or .json, as the\n"
            "name says), as cv2's Algorithm.save does.")
        .def(
            "load_settings",
            [](LockedSubtractor& self, const py::args& args, const py::kwargs& keywords) {
                const Arguments arguments("load_settings", args, keywords, {"path"}, 1);
                const std::string path = pathOf(arguments[0], "path");
                self.locked([&](dadimero::Subtractor& s) {
                    std::error_code error;
                    if (!std::filesystem::is_regular_file(path, error)) {
                        throw cv::Exception(cv::Error::StsError,
                                            "cannot read the settings file " + path, "", "", 0);
                    }
                    cv::FileStorage fs;
                    try {
                        fs.open(path, cv::FileStorage::READ);
                    } catch (const cv::Exception&) {
                        throw cv::Exception(cv::Error::StsParseError,
                                            path + " is not a readable settings file", "", "", 0);
                    }
                    if (!fs.isOpened()) {
                        throw cv::Exception(cv::Error::StsError,
                                            "cannot read the settings file " + path, "", "", 0);
                    }
                    const cv::FileNode named = fs[s.getDefaultName()];
                    s.read(named.empty() ? fs.getFirstTopLevelNode() : named);
                });
            },
            "load_settings(path) -> None\n\n"
            "Takes the settings a save_settings() file holds; n and threads change only\n"
            "before the first frame of a subtractor built without backgrounds. A file\n"
            "with a setting without meaning is refused and changes nothing.")
        .def(
            "save_state",
            [](LockedSubtractor& self, const py::args& args, const py::kwargs& keywords) {
                const Arguments arguments("save_state", args, keywords, {"path"}, 1);
                const std::string path = pathOf(arguments[0], "path");
                self.locked([&](dadimero::Subtractor& s) { s.saveState(path); });
            },
            "save_state(path) -> None\n\n"
            "Saves the whole subtractor, settings, models and frame count, to a\n"
            "cv2.FileStorage file (.yml, .xml or .json, optionally .gz).")
        .def(
            "load_state",
            [](LockedSubtractor& self, const py::args& args, const py::kwargs& keywords) {
                const Arguments arguments("load_state", args, keywords, {"path"}, 1);
                const std::string path = pathOf(arguments[0], "path");
                self.locked([&](dadimero::Subtractor& s) { s.loadState(path); });
            },
            "load_state(path) -> None\n\n"
            "Replaces the whole subtractor, but its thread count, by a save_state() file:\n"
            "it then continues with exactly the masks the saved one would have given. A\n"
            "damaged or truncated file, one of another version, or one for another frame\n"
            "size than this subtractor's raises ValueError and changes nothing.");

    // The settings as properties.
    for (const SettingsField& field : kSettingsFields) {
        const std::string name = field.name;
        std::visit(
            [&](auto member) {
                using Field = std::remove_reference_t<decltype(dadimero::Settings().*member)>;
                const auto get = [member](LockedSubtractor& self) {
                    return self.locked(
                        [&](dadimero::Subtractor& s) { return s.getSettings().*member; });
                };
                const std::string doc = std::string(field.meaning) + ".";
                if (name == "n" || name == "threads") {
                    subtractor.def_property_readonly(name.c_str(), get,
                                                     (doc + " Read-only.").c_str());
                    return;
                }
                const auto set = [member, name](LockedSubtractor& self, py::handle value) {
                    const Field converted = fieldValue<Field>(value, name);
                    self.locked([&](dadimero::Subtractor& s) {
                        dadimero::Settings settings = s.getSettings();
                        settings.*member = converted;
                        s.setSettings(settings);
                    });
                };
                subtractor.def_property(name.c_str(), get, set, doc.c_str());
            },
            field.member);
    }
}
