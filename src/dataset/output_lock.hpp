#pragma once

#include <filesystem>
#include <string>

namespace dadimero {

// The output root's lock, OUTPUT_ROOT/.dadimero/lock: one start of the dataset
// program at a time per output root. The system drops the lock when its
// holder ends in any way, so a killed start never leaves it stuck. The file
// says who holds it: process, host, since when and the command.
class OutputLock {
  public:
    enum Mode {
        Refuse,  // throw std::runtime_error naming the holder
        Wait     // wait until the holder has ended (the Slurm collecting job)
    };
    OutputLock(const std::filesystem::path& outputRoot, Mode mode);
    ~OutputLock();
    OutputLock(const OutputLock&) = delete;
    OutputLock& operator=(const OutputLock&) = delete;

    // Lets go before the end, for a start that leaves its work to Slurm.
    void release();

  private:
    int fd_ = -1;
};

// The command line of this process, for the lock file and messages.
std::string thisCommandLine();

}  // namespace dadimero
