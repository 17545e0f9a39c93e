// The Python module `dadimero`: the library's Subtractor, initialDepthBackground
// and InitialDepthBackground over NumPy arrays.
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

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <charconv>
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

// A cv2.UMat, which OpenCV's own functions take wherever they take an array.
bool isUMat(py::handle object) {
    const py::handle type = py::type::handle_of(object);
    return py::str(type.attr("__name__")).cast<std::string>() == "UMat" &&
           py::str(type.attr("__module__")).cast<std::string>().rfind("cv2", 0) == 0;
}

// What an input array holds, which decides the dtypes and shapes it may have.
enum class Pixels { Colour, Depth, Mask };

// A view of a NumPy array as a cv::Mat, sharing its memory. `keep` receives a
// reference to the array; the view is valid while `keep` lives.
cv::Mat viewOf(py::handle object, Pixels pixels, const std::string& what, py::array& keep) {
    if (isUMat(object)) {
        keep = object.attr("get")();  // its pixels, copied into a NumPy array
    } else if (py::isinstance<py::array>(object)) {
        keep = py::reinterpret_borrow<py::array>(object);
    } else {
        throw py::type_error(what + " must be a NumPy array or a cv2.UMat, got " +
                             typeName(object));
    }
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

// The arguments of one call, bound to their names as Python binds them, with
// Python's messages; a value is never printed.
class Arguments {
  public:
    // names: the parameters in order, each "name" or "name|alias" (cv2's name
    // and the module's own, say); a name starting with '*' and those after it
    // are keyword-only. The first `required` must be given. With
    // `otherKeywords`, keywords that are not parameters are kept for the
    // caller (see rest()); otherwise they are refused.
    Arguments(std::string function, const py::args& args, const py::kwargs& keywords,
              const std::vector<std::string>& names, size_t required, bool otherKeywords = false)
        : function_(std::move(function)), values_(names.size()) {
        size_t positional = names.size();
        for (size_t i = 0; i < names.size(); ++i) {
            std::string name = names[i];
            if (name[0] == '*') {
                positional = std::min(positional, i);
                name.erase(0, 1);
            }
            const size_t bar = name.find('|');
            names_.push_back(name.substr(0, bar));
            aliases_.push_back(bar == std::string::npos ? "" : name.substr(bar + 1));
        }
        if (args.size() > positional) {
            throw py::type_error(function_ + "() takes at most " + std::to_string(positional) +
                                 " positional arguments but " + std::to_string(args.size()) +
                                 " were given");
        }
        for (size_t i = 0; i < args.size(); ++i)
            values_[i] = py::reinterpret_borrow<py::object>(args[i]);
        for (const auto& [key, value] : keywords) {
            const std::string name = py::str(key);
            size_t index = 0;
            while (index < names_.size() && name != names_[index] && name != aliases_[index])
                ++index;
            if (index == names_.size()) {
                if (!otherKeywords) {
                    throw py::type_error(function_ + "() got an unexpected keyword argument '" +
                                         name + "'");
                }
                rest_[key] = value;
            } else if (values_[index]) {
                throw py::type_error(function_ + "() got multiple values for argument '" +
                                     names_[index] + "'");
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
    std::vector<std::string> names_;
    std::vector<std::string> aliases_;
    std::vector<py::object> values_;
    py::dict rest_;
};

const dadimero::SettingField* settingNamed(const std::string& name) {
    for (const dadimero::SettingField& setting : dadimero::kSettingFields)
        if (name == setting.name) return &setting;
    return nullptr;
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

// `setting` of `settings` set from a Python value.
void setSetting(dadimero::Settings& settings, const dadimero::SettingField& setting,
                py::handle value) {
    std::visit(
        [&](auto field) {
            auto& target = settings.*field;
            target = fieldValue<std::remove_reference_t<decltype(target)>>(value, setting.name);
        },
        setting.field);
}

// A setting's value as Python shows it.
py::object settingValue(const dadimero::Settings& settings, const dadimero::SettingField& setting) {
    return std::visit([&](auto field) { return py::cast(settings.*field); }, setting.field);
}

// A setting's value as Python writes it, for reprs and docstrings: the shortest
// text that reads back as the same 32-bit float.
std::string settingText(const dadimero::Settings& settings, const dadimero::SettingField& setting) {
    return std::visit(
        [&](auto field) {
            const auto value = settings.*field;
            using Value = std::remove_cv_t<decltype(value)>;
            if constexpr (std::is_same_v<Value, bool>) {
                return std::string(value ? "True" : "False");
            } else if constexpr (std::is_same_v<Value, float>) {
                char text[32];
                const auto end = std::to_chars(text, text + sizeof text, value).ptr;
                std::string shown(text, end);
                // Python writes a float with a point or an exponent.
                if (shown.find_first_of(".en") == std::string::npos) shown += ".0";
                return shown;
            } else {
                return std::to_string(value);
            }
        },
        setting.field);
}

dadimero::Settings settingsOf(const py::dict& keywords, const std::string& function) {
    dadimero::Settings settings;
    for (const auto& [key, value] : keywords) {
        const std::string name = py::str(key);
        const dadimero::SettingField* setting = settingNamed(name);
        if (setting == nullptr) {
            throw py::type_error(function + "() got an unexpected keyword argument '" + name + "'");
        }
        setSetting(settings, *setting, value);
    }
    return settings;
}

// The settings with their defaults and meanings, for the docstring.
std::string settingsHelp() {
    const dadimero::Settings defaults;
    std::ostringstream text;
    for (const dadimero::SettingField& setting : dadimero::kSettingFields) {
        const std::string assignment =
            std::string(setting.name) + "=" + settingText(defaults, setting);
        text << "    " << assignment
             << std::string(assignment.size() < 20 ? 20 - assignment.size() : 1, ' ')
             << setting.meaning << "\n";
    }
    return text.str();
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

Shaped like cv2's background subtractors: from frames alone, the first frame
is the background and the next K - 1 calibrate; every apply() returns a mask
of the frame's size, all background until the model detects:

    import cv2, dadimero
    camera = cv2.VideoCapture(0)
    subtractor = dadimero.createSubtractor()    # as cv2.createBackgroundSubtractorMOG2()
    while (frame := camera.read()[1]) is not None:
        mask = subtractor.apply(frame)          # uint8 H x W, 255 foreground

From known backgrounds, with depth (here a sequence of the DADI-MERO layout):

    background = cv2.imread("seq/CinitImageL.png", cv2.IMREAD_COLOR)
    depths = [cv2.imread(f"seq/depth/d{f:06d}.png", cv2.IMREAD_ANYDEPTH) for f in range(1, 101)]
    s = dadimero.Subtractor(background, dadimero.initial_depth_background(depths), K=50)
    for f in range(2, 201):
        colour = cv2.imread(f"seq/input/in{f:06d}.png", cv2.IMREAD_COLOR)
        depth = cv2.imread(f"seq/depth/d{f:06d}.png", cv2.IMREAD_ANYDEPTH)
        mask = s.apply(colour, depth=depth)     # all 0 while calibrating

Images are NumPy arrays as OpenCV's cv2 gives them, of any memory layout (a
non-contiguous one is copied), or cv2.UMat: colour is uint8 H x W x 3 in BGR
order; depth is uint8 or uint16 H x W, 0 meaning no measurement and larger
farther; a region of interest is uint8 H x W, nonzero inside. A wrong dtype, a
non-array or a wrong argument raises TypeError, a wrong shape, a refused
setting or any other bad input ValueError, a file that cannot be opened or
written OSError, running out of memory MemoryError.)";

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

const char* const kInitialDepthBackgroundClassDoc =
    R"(InitialDepthBackground(roi=None)

The initial depth background built a frame at a time, so that nobody holds the
frames: add() them one by one (DADI-MERO adds its frames ini .. min(end, 100)),
then result() gives per pixel inside the region of interest the largest of the
frames' samples, 0 outside. A sample is a value over 255 for a uint8 frame,
over 65535 for a uint16 one, so the two may even be mixed; the result has the
first frame's dtype. Frames of one dtype give exactly
initial_depth_background() of them. Holds one float per pixel.

roi: None for every pixel, or a uint8 H x W array, nonzero inside.)";

const char* const kEstimateBackgroundDoc =
    R"(estimate_background(colour_frames, depth_frames=None) -> (numpy.ndarray, numpy.ndarray | None)

Backgrounds from a few frames of the scene, for Subtractor: per pixel the
median of the colour frames (uint8 H x W x 3; of an even count the mean of the
two middle values, rounded up), and the depth background of
initial_depth_background(depth_frames), or None without depth frames. Moving
objects vanish from the colour background where they cover a pixel in fewer
than half of the frames.)";

const char* const kApplyDoc =
    R"(apply(image, fgmask=None, learningRate=-1, *, depth=None) -> numpy.ndarray

Takes the next frame, as cv2's BackgroundSubtractor.apply does, and returns its
mask: uint8 H x W, 255 foreground, 0 background and shadowValue for a shadow
the mask calls background. While the frame starts or calibrates the models
(the first frame of a subtractor built without backgrounds, and the next K - 1
frames) the mask is all 0; the calibrating property tells them apart.

image: the colour frame, uint8 H x W x 3, BGR, of the subtractor's frame size
    (keyword colour= too).
fgmask: None, or a writable C-contiguous uint8 H x W array that receives the
    mask and is returned. Any other array is refused: a depth frame goes in
    depth=, never here.
learningRate: as in cv2 (keyword learning_rate= too): below 0 the settings'
    rates (c1 falling to c2 while calibrating, then c2); 0 leaves the models as
    they are; between 0 and 1 this frame learns as with that value for c; 1
    makes this frame the model (its mask is all 0) and the next frame is
    detected against it, without a calibration; above 1 or NaN is refused.
depth: keyword only: the aligned depth frame, uint8 or uint16 H x W, for a
    subtractor that uses depth; None (and only None) for one without. A
    subtractor built without backgrounds uses depth when its first frame has it.

Returns fgmask when given, else a new array; a cv2.UMat when image is one. Bad
input raises TypeError or ValueError and leaves the subtractor unchanged. The
GIL is released while the frame is processed.)";

// A subtractor method that returns an image, or None.
template <typename Get>
py::object imageFrom(LockedSubtractor& self, Get&& get) {
    return arrayOf(self.locked([&](dadimero::Subtractor& s) {
        cv::Mat image;
        get(s, image);
        return image;
    }));
}

// The fgmask a caller hands to apply(): a writable C-contiguous uint8 array
// of the frame's size, viewed in place. Anything else is refused rather than
// replaced, so that a depth frame given where cv2 takes the mask is never
// taken for either.
cv::Mat maskViewOf(py::handle object, int rows, int cols) {
    if (!py::isinstance<py::array>(object)) {
        throw py::type_error("fgmask must be None or a NumPy array, got " + typeName(object));
    }
    py::array array = py::reinterpret_borrow<py::array>(object);
    if (!py::isinstance<py::array_t<uint8_t>>(array)) {
        throw py::type_error("fgmask must have dtype uint8, got " +
                             std::string(py::str(array.dtype())) +
                             " (a depth frame goes in depth=)");
    }
    if (array.ndim() != 2 || array.shape(0) != rows || array.shape(1) != cols) {
        throw py::value_error("fgmask must be H x W as the frame, (" + std::to_string(rows) + ", " +
                              std::to_string(cols) + "), got shape " + shapeText(array));
    }
    if ((array.flags() & py::array::c_style) == 0 || !array.writeable()) {
        throw py::value_error("fgmask must be a writable C-contiguous array");
    }
    return cv::Mat(rows, cols, CV_8UC1, array.mutable_data());
}

// The settings and the state, as the repr shows them.
std::string reprOf(LockedSubtractor& self) {
    std::string text = "<dadimero.Subtractor";
    const dadimero::Settings settings = self.locked([&](dadimero::Subtractor& s) {
        cv::Mat background;
        s.getBackgroundImage(background);
        if (background.empty()) {
            text += " waiting for its first frame";
        } else {
            text += " " + std::to_string(background.cols) + "x" + std::to_string(background.rows) +
                    (s.usesDepth() ? " colour and depth" : " colour") +
                    (s.calibrating() ? ", calibrating" : ", online");
        }
        return s.getSettings();
    });
    const char* separator = ": ";
    for (const dadimero::SettingField& setting : dadimero::kSettingFields) {
        text += separator + std::string(setting.name) + "=" + settingText(settings, setting);
        separator = ", ";
    }
    return text + ">";
}

// A new subtractor from the arguments of Subtractor() and createSubtractor().
std::unique_ptr<LockedSubtractor> newSubtractor(const std::string& function, const py::args& args,
                                                const py::kwargs& keywords) {
    const Arguments arguments(
        function, args, keywords,
        {"colour_background|colourBackground", "depth_background|depthBackground", "roi"}, 0, true);
    const dadimero::Settings settings = settingsOf(arguments.rest(), function);
    py::array keepColour;
    py::array keepDepth;
    py::array keepRoi;
    const cv::Mat colourView =
        optionalViewOf(arguments[0], Pixels::Colour, "colour_background", keepColour);
    const cv::Mat depthView =
        optionalViewOf(arguments[1], Pixels::Depth, "depth_background", keepDepth);
    if (colourView.empty() && !depthView.empty()) {
        throw py::value_error(
            "depth_background needs a colour_background; give neither to take both from the "
            "first frame");
    }
    const cv::Mat roiView = optionalViewOf(arguments[2], Pixels::Mask, "roi", keepRoi);
    const py::gil_scoped_release released;
    return std::make_unique<LockedSubtractor>(settings, colourView, depthView, roiView);
}

// "getK" for "K", "getE1D" for "e1D": OpenCV's names of a setting's accessors.
std::string accessorName(const char* prefix, const std::string& setting) {
    return prefix + std::string(1, static_cast<char>(std::toupper(setting[0]))) + setting.substr(1);
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

    py::class_<dadimero::InitialDepthBackground>(m, "InitialDepthBackground",
                                                 kInitialDepthBackgroundClassDoc)
        .def(py::init([](const py::args& args, const py::kwargs& keywords) {
                 const Arguments arguments("InitialDepthBackground", args, keywords, {"roi"}, 0);
                 py::array keepRoi;
                 const cv::Mat roiView = optionalViewOf(arguments[0], Pixels::Mask, "roi", keepRoi);
                 return std::make_unique<dadimero::InitialDepthBackground>(roiView);
             }),
             "__init__(roi=None)\n\nSee help(dadimero.InitialDepthBackground).")
        .def(
            "add",
            [](dadimero::InitialDepthBackground& self, const py::args& args,
               const py::kwargs& keywords) {
                const Arguments arguments("add", args, keywords, {"depth_frame"}, 1);
                py::array keep;
                self.add(viewOf(arguments[0], Pixels::Depth, "depth_frame", keep));
            },
            "add(depth_frame) -> None\n\n"
            "Adds a depth frame, uint8 or uint16 H x W, of the size of roi or of the first\n"
            "frame. A frame that does not fit raises TypeError or ValueError and changes\n"
            "nothing.")
        .def(
            "result",
            [](const dadimero::InitialDepthBackground& self) { return arrayOf(self.result()); },
            "result() -> numpy.ndarray | None\n\n"
            "A new H x W array of the first frame's dtype, for Subtractor's\n"
            "depth_background; None before the first frame.")
        .def_property_readonly(
            "frames", [](const dadimero::InitialDepthBackground& self) { return self.frames(); },
            "The number of frames added.");

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

Background subtraction frame by frame: build it once (or with
createSubtractor()), call apply() per frame.

colour_background: None to take the backgrounds from the first frame given to
    apply(), else uint8 H x W x 3, BGR, an estimate of the empty scene (at
    least 5 x 5 pixels for the 5 x 5 filter, 2 x 2 for the 3 x 3 one; see
    estimate_background). Keyword colourBackground= too.
depth_background: None for colour alone, else uint8 or uint16 H x W (see
    initial_depth_background); its dtype decides e2D and the dtype of
    depth_model_image(). Only with a colour background. Keyword
    depthBackground= too.
roi: None for every pixel, else uint8 H x W, nonzero inside; pixels outside
    are never foreground and never learnt.

Settings, as keywords (the defaults are the DADI-MERO program's):
)" + settingsHelp() +
        R"(
Each setting is also a property of the same name and has cv2-style accessors
(getK()/setK(), getShadowValue()/setShadowValue(), ...). All but n and threads
may change between frames; n and threads only before the first frame of a
subtractor built without backgrounds. An unknown keyword or a value of the
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
                 return newSubtractor("Subtractor", args, keywords);
             }),
             "__init__(colour_background=None, depth_background=None, roi=None, **settings)\n\n"
             "See help(dadimero.Subtractor).")
        .def("__repr__", &reprOf)
        .def(
            "apply",
            [](LockedSubtractor& self, const py::args& args, const py::kwargs& keywords) {
                const Arguments arguments(
                    "apply", args, keywords,
                    {"image|colour", "fgmask", "learningRate|learning_rate", "*depth"}, 1);
                py::array keepColour;
                py::array keepDepth;
                const cv::Mat colourView =
                    viewOf(arguments[0], Pixels::Colour, "image", keepColour);
                const py::object fgmask = arguments[1];
                cv::Mat maskView;
                if (!fgmask.is_none())
                    maskView = maskViewOf(fgmask, colourView.rows, colourView.cols);
                const py::object rateArgument = arguments[2];
                const double rate =
                    rateArgument.is_none() ? -1.0 : toDouble(rateArgument, "learningRate");
                const cv::Mat depthView =
                    optionalViewOf(arguments[3], Pixels::Depth, "depth", keepDepth);
                cv::Mat mask = maskView;
                self.locked([&](dadimero::Subtractor& s) {
                    if (depthView.empty()) {
                        s.apply(colourView, mask, rate);
                    } else {
                        s.apply(colourView, depthView, mask, rate);
                    }
                });
                const py::object result = fgmask.is_none() ? arrayOf(mask) : fgmask;
                // cv2 answers a UMat with a UMat.
                if (isUMat(arguments[0]) && fgmask.is_none()) {
                    return py::type::handle_of(arguments[0])(result);
                }
                return result;
            },
            kApplyDoc)
        .def_property_readonly(
            "calibrating",
            [](LockedSubtractor& self) {
                return self.locked([](dadimero::Subtractor& s) { return s.calibrating(); });
            },
            "True while apply() gives an all-background mask without detecting: the first\n"
            "frame of a subtractor built without backgrounds, and the calibration frames.")
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
            "getBackgroundImage",
            [](LockedSubtractor& self, const py::args& args, const py::kwargs& keywords) {
                const Arguments arguments("getBackgroundImage", args, keywords, {"backgroundImage"},
                                          0);
                if (!arguments[0].is_none()) {
                    throw py::type_error(
                        "getBackgroundImage() returns a new array; backgroundImage must be None");
                }
                return imageFrom(self, [](dadimero::Subtractor& s, cv::Mat& image) {
                    s.getBackgroundImage(image);
                });
            },
            "getBackgroundImage() -> numpy.ndarray | None\n\n"
            "As in cv2: background_image().")
        .def(
            "colour_mask",
            [](LockedSubtractor& self, const py::args& args, const py::kwargs& keywords) {
                const Arguments arguments("colour_mask", args, keywords, {"label_codes|labelCodes"},
                                          0);
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
                const Arguments arguments("depth_mask", args, keywords, {"label_codes|labelCodes"},
                                          0);
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
                                          {"depth_background|depthBackground"}, 1);
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
            "getDefaultName",
            [](LockedSubtractor& self) {
                return self.locked([](dadimero::Subtractor& s) { return s.getDefaultName(); });
            },
            "getDefaultName() -> str\n\n"
            "'dadimero_Subtractor', the name the settings files use.")
        .def(
            "save_settings",
            [](LockedSubtractor& self, const py::args& args, const py::kwargs& keywords) {
                const Arguments arguments("save_settings", args, keywords, {"path"}, 1);
                const std::string path = pathOf(arguments[0], "path");
                self.locked([&](dadimero::Subtractor& s) { s.saveSettings(path); });
            },
            "save_settings(path) -> None\n\n"
            "Writes the settings to a cv2.FileStorage file (YAML; XML or JSON for a name\n"
            "ending in .xml or .json), as cv2's Algorithm.save does, whole or not at all.")
        .def(
            "load_settings",
            [](LockedSubtractor& self, const py::args& args, const py::kwargs& keywords) {
                const Arguments arguments("load_settings", args, keywords, {"path"}, 1);
                const std::string path = pathOf(arguments[0], "path");
                self.locked([&](dadimero::Subtractor& s) { s.loadSettings(path); });
            },
            "load_settings(path) -> None\n\n"
            "Takes the settings a save_settings() file holds; n and threads change only\n"
            "before the first frame of a subtractor built without backgrounds. A file\n"
            "with a setting without meaning, or another algorithm's settings, is refused\n"
            "and changes nothing.")
        .def(
            "save_state",
            [](LockedSubtractor& self, const py::args& args, const py::kwargs& keywords) {
                const Arguments arguments("save_state", args, keywords, {"path"}, 1);
                const std::string path = pathOf(arguments[0], "path");
                self.locked([&](dadimero::Subtractor& s) { s.saveState(path); });
            },
            "save_state(path) -> None\n\n"
            "Saves the whole subtractor, settings, models and frame count, to a binary\n"
            "file a little larger than the model. The file is written beside path, synced\n"
            "and renamed over it: a crash or a full disk leaves the previous file whole.")
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

    m.def(
        "createSubtractor",
        [](const py::args& args, const py::kwargs& keywords) {
            return newSubtractor("createSubtractor", args, keywords);
        },
        "createSubtractor(colour_background=None, depth_background=None, roi=None, **settings)"
        " -> Subtractor\n\n"
        "A new Subtractor, as cv2.createBackgroundSubtractorMOG2() makes a MOG2 one; see\n"
        "help(dadimero.Subtractor).");

    // The settings as properties and as cv2-style accessors.
    for (const dadimero::SettingField& setting : dadimero::kSettingFields) {
        const std::string name = setting.name;
        const std::string doc = std::string(setting.meaning) + "." +
                                (setting.fixed ? " Changes only before the first frame." : "");
        const auto get = [&setting](LockedSubtractor& self) {
            const dadimero::Settings settings =
                self.locked([](dadimero::Subtractor& s) { return s.getSettings(); });
            return settingValue(settings, setting);
        };
        const auto set = [&setting](LockedSubtractor& self, py::handle value) {
            // Converted with the GIL, changed under the subtractor's lock alone.
            dadimero::Settings converted;
            setSetting(converted, setting, value);
            self.locked([&](dadimero::Subtractor& s) {
                dadimero::Settings settings = s.getSettings();
                std::visit([&](auto field) { settings.*field = converted.*field; }, setting.field);
                s.setSettings(settings);
            });
        };
        subtractor.def_property(name.c_str(), get, set, doc.c_str());
        subtractor.def(accessorName("get", name).c_str(), get,
                       (accessorName("get", name) + "() -> value\n\n" + doc).c_str());
        subtractor.def(accessorName("set", name).c_str(), set,
                       (accessorName("set", name) + "(value) -> None\n\n" + doc).c_str());
    }
}
