#include <cstdio>
#include <exception>

#include "image_files.hpp"

#include "fatal_error.hpp"
#include "run_driver.hpp"

int main(int argc, char** argv) {
    // Every line reaches a log file as it is printed, so a killed run's log
    // shows how far it got.
    std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
    dadimero::silenceImageLibraryLog();
    try {
        return dadimero::runDadiMero(dadimero::ArgumentList(argv, argv + argc));
    } catch (const dadimero::FatalError& failure) {
        std::fflush(stdout);
        std::fputs(failure.message.c_str(), failure.toStandardError ? stderr : stdout);
        std::fflush(failure.toStandardError ? stderr : stdout);
        return failure.exitCode;
    } catch (const std::exception& failure) {
        std::printf("DADI-MERO stopped by an unexpected failure: %s\n", failure.what());
        std::fflush(stdout);
        return dadimero::EXIT_UNEXPECTED;
    }
}
