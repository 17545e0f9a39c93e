// peak_memory FILE PROGRAM ARGS...: runs PROGRAM and writes its peak resident
// memory in kB to FILE; exits as PROGRAM did. A process forked from the test
// binary counts the test binary's pages in its own peak, even after exec, so
// the tests start this small program first and let it fork the measured one.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 3) return 125;
    const pid_t child = fork();
    if (child < 0) return 125;
    if (child == 0) {
        execv(argv[2], argv + 2);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) return 125;
    std::FILE* file = std::fopen(argv[1], "w");
    if (file == nullptr) return 125;
    std::fprintf(file, "%ld\n", usage.ru_maxrss);
    if (std::fclose(file) != 0) return 125;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
