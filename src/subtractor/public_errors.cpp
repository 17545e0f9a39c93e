#include "subtractor/public_errors.hpp"

#include "dadimero/internal/program_access.hpp"

namespace dadimero {

namespace {

const char* codeName(int code) {
    switch (code) {
        case cv::Error::StsBadArg:
            return "StsBadArg";
        case cv::Error::StsOutOfRange:
            return "StsOutOfRange";
        case cv::Error::StsNoMem:
            return "StsNoMem";
        case cv::Error::StsParseError:
            return "StsParseError";
        case cv::Error::StsBadSize:
            return "StsBadSize";
        case cv::Error::StsError:
            return "StsError";
        default:
            return "error";
    }
}

}  // namespace

void fail(int code, const std::string& sentence) {
    cv::Exception failure(code, sentence, "", "", 0);
    failure.msg = sentence + " (" + codeName(code) + ")";
    throw failure;
}

ThreadStartError::ThreadStartError(int threadCount, const std::string& sentence)
    : cv::Exception(cv::Error::StsNoMem, sentence, "", "", 0), threads(threadCount) {
    msg = sentence + " (" + codeName(code) + ")";
}

void failThreadStart(int threads, const std::string& cause) {
    throw ThreadStartError(threads,
                           "cannot start " + std::to_string(threads) + " threads: " + cause);
}

void namePublicFunction(cv::Exception& failure, const char* function) {
    // Only our own exceptions, which have no source file, and only once: the
    // library's code calls no public function of its own, so the first public
    // function an exception leaves through is the one the caller called.
    if (!failure.file.empty() || !failure.func.empty()) return;
    failure.func = function;
    failure.msg = failure.err + " (" + codeName(failure.code) + " in " + function + ")";
}

}  // namespace dadimero
