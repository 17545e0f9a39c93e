// The settings of a Subtractor: read one by one, changed between frames, and
// written to and read from cv::FileStorage.
#include "dadimero/dadimero.hpp"
#include "subtractor/public_errors.hpp"
#include "subtractor/subtractor_state.hpp"

namespace dadimero {

void Subtractor::setSettings(const Settings& settings) {
    asPublic("dadimero::Subtractor::setSettings", [&] { changeSettings(settings); });
}

int Subtractor::getN() const {
    return asPublic("dadimero::Subtractor::getN", [&] { return currentSettings().n; });
}

int Subtractor::getThreads() const {
    return asPublic("dadimero::Subtractor::getThreads", [&] { return currentSettings().threads; });
}

int Subtractor::getK() const {
    return asPublic("dadimero::Subtractor::getK", [&] { return currentSettings().K; });
}

void Subtractor::setK(int K) {
    asPublic("dadimero::Subtractor::setK", [&] {
        Settings settings = currentSettings();
        settings.K = K;
        changeSettings(settings);
    });
}

float Subtractor::getE1() const {
    return asPublic("dadimero::Subtractor::getE1", [&] { return currentSettings().e1; });
}

void Subtractor::setE1(float e1) {
    asPublic("dadimero::Subtractor::setE1", [&] {
        Settings settings = currentSettings();
        settings.e1 = e1;
        changeSettings(settings);
    });
}

float Subtractor::getE2() const {
    return asPublic("dadimero::Subtractor::getE2", [&] { return currentSettings().e2; });
}

void Subtractor::setE2(float e2) {
    asPublic("dadimero::Subtractor::setE2", [&] {
        Settings settings = currentSettings();
        settings.e2 = e2;
        changeSettings(settings);
    });
}

float Subtractor::getE1D() const {
    return asPublic("dadimero::Subtractor::getE1D", [&] { return currentSettings().e1D; });
}

void Subtractor::setE1D(float e1D) {
    asPublic("dadimero::Subtractor::setE1D", [&] {
        Settings settings = currentSettings();
        settings.e1D = e1D;
        changeSettings(settings);
    });
}

float Subtractor::getE2D() const {
    return asPublic("dadimero::Subtractor::getE2D", [&] { return currentSettings().e2D; });
}

void Subtractor::setE2D(float e2D) {
    asPublic("dadimero::Subtractor::setE2D", [&] {
        Settings settings = currentSettings();
        settings.e2D = e2D;
        changeSettings(settings);
    });
}

float Subtractor::getC1() const {
    return asPublic("dadimero::Subtractor::getC1", [&] { return currentSettings().c1; });
}

void Subtractor::setC1(float c1) {
    asPublic("dadimero::Subtractor::setC1", [&] {
        Settings settings = currentSettings();
        settings.c1 = c1;
        changeSettings(settings);
    });
}

float Subtractor::getC2() const {
    return asPublic("dadimero::Subtractor::getC2", [&] { return currentSettings().c2; });
}

void Subtractor::setC2(float c2) {
    asPublic("dadimero::Subtractor::setC2", [&] {
        Settings settings = currentSettings();
        settings.c2 = c2;
        changeSettings(settings);
    });
}

int Subtractor::getCw() const {
    return asPublic("dadimero::Subtractor::getCw", [&] { return currentSettings().Cw; });
}

void Subtractor::setCw(int Cw) {
    asPublic("dadimero::Subtractor::setCw", [&] {
        Settings settings = currentSettings();
        settings.Cw = Cw;
        changeSettings(settings);
    });
}

bool Subtractor::getShadowRemoval() const {
    return asPublic("dadimero::Subtractor::getShadowRemoval",
                    [&] { return currentSettings().shadowRemoval; });
}

void Subtractor::setShadowRemoval(bool shadowRemoval) {
    asPublic("dadimero::Subtractor::setShadowRemoval", [&] {
        Settings settings = currentSettings();
        settings.shadowRemoval = shadowRemoval;
        changeSettings(settings);
    });
}

float Subtractor::getGamma() const {
    return asPublic("dadimero::Subtractor::getGamma", [&] { return currentSettings().gamma; });
}

void Subtractor::setGamma(float gamma) {
    asPublic("dadimero::Subtractor::setGamma", [&] {
        Settings settings = currentSettings();
        settings.gamma = gamma;
        changeSettings(settings);
    });
}

float Subtractor::getBeta() const {
    return asPublic("dadimero::Subtractor::getBeta", [&] { return currentSettings().beta; });
}

void Subtractor::setBeta(float beta) {
    asPublic("dadimero::Subtractor::setBeta", [&] {
        Settings settings = currentSettings();
        settings.beta = beta;
        changeSettings(settings);
    });
}

float Subtractor::getTauS() const {
    return asPublic("dadimero::Subtractor::getTauS", [&] { return currentSettings().tauS; });
}

void Subtractor::setTauS(float tauS) {
    asPublic("dadimero::Subtractor::setTauS", [&] {
        Settings settings = currentSettings();
        settings.tauS = tauS;
        changeSettings(settings);
    });
}

float Subtractor::getTauH() const {
    return asPublic("dadimero::Subtractor::getTauH", [&] { return currentSettings().tauH; });
}

void Subtractor::setTauH(float tauH) {
    asPublic("dadimero::Subtractor::setTauH", [&] {
        Settings settings = currentSettings();
        settings.tauH = tauH;
        changeSettings(settings);
    });
}

int Subtractor::getShadowValue() const {
    return asPublic("dadimero::Subtractor::getShadowValue",
                    [&] { return currentSettings().shadowValue; });
}

void Subtractor::setShadowValue(int shadowValue) {
    asPublic("dadimero::Subtractor::setShadowValue", [&] {
        Settings settings = currentSettings();
        settings.shadowValue = shadowValue;
        changeSettings(settings);
    });
}

void Subtractor::write(cv::FileStorage& fs) const {
    asPublic("dadimero::Subtractor::write", [&] { writeSettings(fs, currentSettings()); });
}

void Subtractor::read(const cv::FileNode& fn) {
    asPublic("dadimero::Subtractor::read",
             [&] { changeSettings(readSettings(fn, currentSettings())); });
}

}  // namespace dadimero
