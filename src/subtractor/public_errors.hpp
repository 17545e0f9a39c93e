#pragma once

#include <string>

#include <opencv2/core.hpp>

namespace dadimero {

// Throws cv::Exception with `code` and `sentence`, without a source file or
// line: the public function it leaves through names itself (see asPublic).
[[noreturn]] void fail(int code, const std::string& sentence);

// Throws ThreadStartError (see dadimero/internal/program_access.hpp), which
// names the public function as fail()'s exceptions do.
[[noreturn]] void failThreadStart(int threads, const std::string& cause);

// Gives an exception thrown by fail() the name of the public function it
// leaves, and a what() of the sentence, the code's name and that function:
// "the colour frame is empty (StsBadArg in dadimero::Subtractor::apply)".
void namePublicFunction(cv::Exception& failure, const char* function);

// Runs body(); the cv::Exception thrown by fail() on the way is named after
// `function`. Every public function of the library runs its body through it.
template <typename Body>
decltype(auto) asPublic(const char* function, Body&& body) {
    try {
        return body();
    } catch (cv::Exception& failure) {
        namePublicFunction(failure, function);
        throw;
    }
}

}  // namespace dadimero
