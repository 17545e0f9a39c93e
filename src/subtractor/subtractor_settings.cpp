// The settings of a Subtractor: read one by one, changed between frames, and
// written to and read from cv::FileStorage.
#include "dadimero/dadimero.hpp"
#include "subtractor/public_errors.hpp"
#include "subtractor/settings_storage.hpp"

namespace dadimero {

void Subtractor::setSettings(const Settings& settings) {
    asPublic("dadimero::Subtractor::setSettings", [&] { changeSettings(settings); });
}

// A setting's getter and setter, as OpenCV's algorithms have them, each the
// public function its errors are named after. n and threads, which fix the
// model, have getters alone.
#define DADI_SETTING_GETTER(Type, Name, field)                    \
    Type Subtractor::get##Name() const {                          \
        return asPublic("dadimero::Subtractor::get" #Name,        \
                        [&] { return currentSettings().field; }); \
    }
#define DADI_SETTING_ACCESSORS(Type, Name, field)         \
    DADI_SETTING_GETTER(Type, Name, field)                \
    void Subtractor::set##Name(Type field) {              \
        asPublic("dadimero::Subtractor::set" #Name, [&] { \
            Settings settings = currentSettings();        \
            settings.field = field;                       \
            changeSettings(settings);                     \
        });                                               \
    }

DADI_SETTING_GETTER(int, N, n)
DADI_SETTING_GETTER(int, Threads, threads)
DADI_SETTING_ACCESSORS(int, K, K)
DADI_SETTING_ACCESSORS(float, E1, e1)
DADI_SETTING_ACCESSORS(float, E2, e2)
DADI_SETTING_ACCESSORS(float, E1D, e1D)
DADI_SETTING_ACCESSORS(float, E2D, e2D)
DADI_SETTING_ACCESSORS(float, C1, c1)
DADI_SETTING_ACCESSORS(float, C2, c2)
DADI_SETTING_ACCESSORS(int, Cw, Cw)
DADI_SETTING_ACCESSORS(bool, ShadowRemoval, shadowRemoval)
DADI_SETTING_ACCESSORS(float, Gamma, gamma)
DADI_SETTING_ACCESSORS(float, Beta, beta)
DADI_SETTING_ACCESSORS(float, TauS, tauS)
DADI_SETTING_ACCESSORS(float, TauH, tauH)
DADI_SETTING_ACCESSORS(int, ShadowValue, shadowValue)

#undef DADI_SETTING_ACCESSORS
#undef DADI_SETTING_GETTER

void Subtractor::write(cv::FileStorage& fs) const {
    asPublic("dadimero::Subtractor::write", [&] { writeSettings(fs, currentSettings()); });
}

void Subtractor::read(const cv::FileNode& fn) {
    asPublic("dadimero::Subtractor::read",
             [&] { changeSettings(readSettings(fn, currentSettings())); });
}

}  // namespace dadimero
