#include "command_line.hpp"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "dadimero/dadimero.hpp"
#include "dadimero/internal/program_access.hpp"

#include "fatal_error.hpp"
#include "formatting.hpp"

namespace dadimero {

namespace {

[[noreturn]] void failOption(const std::string& name) {
    throw FatalError{EXIT_BAD_OPTION,
                     formatText("Error: please, provide value for option \"%s\"\n", name.c_str()),
                     true};
}

}  // namespace

std::optional<std::string> extractOption(ArgumentList& args, const std::string& name,
                                         std::optional<std::string> fallback, TakenOptions* taken) {
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] != name) continue;
        if (i + 1 >= args.size()) failOption(name);
        std::string value = std::move(args[i + 1]);
        if (taken != nullptr) taken->push_back({name, value});
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                   args.begin() + static_cast<std::ptrdiff_t>(i + 2));
        return value;
    }
    return fallback;
}

int32_t getIntOption(ArgumentList& args, const std::string& name, int32_t fallback,
                     TakenOptions* taken) {
    const std::optional<std::string> value = extractOption(args, name, std::nullopt, taken);
    if (!value) return fallback;
    const char* text = value->c_str();
    char* stop = nullptr;
    errno = 0;
    const long converted = std::strtol(text, &stop, 0);
    if (*stop != '\0') failOption(name);
    if (converted > INT32_MAX) return INT32_MAX;
    if (converted < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(converted);
}

double getFloatOption(ArgumentList& args, const std::string& name, double fallback,
                      TakenOptions* taken) {
    const std::optional<std::string> value = extractOption(args, name, std::nullopt, taken);
    if (!value) return fallback;
    const char* text = value->c_str();
    char* stop = nullptr;
    const double converted = std::strtod(text, &stop);
    if (*stop != '\0') failOption(name);
    return converted;
}

std::string getStringOption(ArgumentList& args, const std::string& name,
                            const std::string& fallback, TakenOptions* taken) {
    return *extractOption(args, name, fallback, taken);
}

RunParameters parseRunParameters(ArgumentList& args, TakenOptions* taken) {
    RunParameters p;
    // The settings' defaults are the library's; they go through double like
    // parsed values, then round to float.
    const Settings defaults;
    auto getFloat = [&args, taken](const char* name, float fallback) {
        return static_cast<float>(getFloatOption(args, name, fallback, taken));
    };
    p.ini = getIntOption(args, "-ini", 1, taken);
    p.end = getIntOption(args, "-end", 0, taken);
    p.n = getIntOption(args, "-n", defaults.n, taken);
    if (!ProgramAccess::isBlockSide(p.n)) {
        throw FatalError{
            EXIT_BAD_OPTION,
            formatText("Error: unsupported value %d for option \"-n\" (supported: 1, 3, 5, 7, 9)\n",
                       p.n),
            true};
    }
    p.K = getIntOption(args, "-K", 0, taken);
    p.e1 = getFloat("-e1", defaults.e1);
    p.e2 = getFloat("-e2", defaults.e2);
    p.e1D = getFloat("-e1D", defaults.e1D);
    p.e2D = getFloat("-e2D", defaults.e2D);
    p.c1 = getFloat("-c1", defaults.c1);
    p.c2 = getFloat("-c2", defaults.c2);
    p.Cw = getIntOption(args, "-Cw", defaults.Cw, taken);
    p.gamma = getFloat("-g", defaults.gamma);
    p.beta = getFloat("-b", defaults.beta);
    p.tauS = getFloat("-tS", defaults.tauS);
    p.tauH = getFloat("-tH", defaults.tauH);
    p.shadowRemoval = getIntOption(args, "-s", defaults.shadowRemoval ? 1 : 0, taken);
    p.saveModels = getIntOption(args, "-m", 0, taken);
    p.saveMasks = getIntOption(args, "-l", 0, taken);
    p.useRoi = getIntOption(args, "-ROI", 1, taken);
    p.useDepth = getIntOption(args, "-DADI", 1, taken);
    p.backgroundName = getStringOption(args, "-nameCE", "CinitImageL.png", taken);
    p.threads = getIntOption(args, "-threads", defaults.threads, taken);
    return p;
}

std::string usageText() {
    return "DADI-MERO: implementation from:\n\n"
           "    Self-organising background subtraction for RGB-D video with a per-pixel neural "
           "map\n"
           "    of colour and depth weights, shadow removal and colour-depth fusion.\n"
           "\n"
           "Usage: DADI-MERO <SeqName> [Parameters]\n\n"
           "<SeqName>:    sequence name (complete path)\n"
           "[parameters]: optional, including:\n"
           "  -DADI #:      To use depth data (1: DADI-MERO) or not (0: RGB-MERO). Default 1.\n"
           "  -ini #:       number of first sequence frame. Default 1\n"
           "  -end #:       number of last sequence frame. Default toIdx (see 'temporal ROI')\n"
           "  -n #:         (square root of) number of weight vectors for each pixel. Default 3\n"
           "  -K #:\t        Number of initial frames for training. Default fromIdx - 1 (see "
           "'temporal ROI')\n"
           "  -e1 #:        Distance threshold for training phase (Eq. (7)). Default 0.1\n"
           "  -e2 #:        Distance threshold for testing phase  (Eq. (7)). Default 0.008\n"
           "  -c1 #:        Learning rate c1 for training phase (Eq. (11)). Default 0.1\n"
           "  -c2 #:        Learning rate c2 for testing phase  (Eq. (11)). Default 0.05\n"
           "  -e1D #:       Depth distance threshold for training phase (Eq. (15)). Default 0.1\n"
           "  -e2D #:       Depth distance threshold for testing phase  (Eq. (15)). Default "
           "0.00075\n"
           "  -Cw #:        Size of the neighbourhood for Spatial Coherence (Eq. (6)). Default 5\n"
           "  -s #:         To apply shadow removal. Default 1 (apply)\n"
           "  -g #:\t        Value for gamma in shadow removal. Default 0.7\n"
           "  -b #:\t        Value for beta  in shadow removal. Default 1.0\n"
           "  -tS #:        Value for tau_S in shadow removal. Default 0.1\n"
           "  -tH #:        Value for tau_H in shadow removal. Default 10.0\n"
           "  -ROI #:       To use ROI.bmp mask. Default: 1 (do use)\n"
           "  -nameCE name: To use 'name' as color BG image for initialization (Eq. (3)). "
           "Default: CinitImageL.png (LabGen)\n"
           "  -threads #:   Worker threads: 0 one per core, 1 strictly one, N more. Default 0;\n"
           "                the masks are the same for every value\n"
           "  -m #:         To save all background model images. Default: do not save\n"
           "  -l #:         To save all detection masks (color, depth, fused). Default: save only "
           "fused\n";
}

std::string versionText() {
    return std::string("DADI-MERO ") + DADI_MERO_VERSION + "\n";
}

}  // namespace dadimero
