#pragma once

#include <string>

// A fresh empty directory under $TMPDIR (or /tmp), removed with its contents
// when the object goes away, so every run writes its masks into a clean place.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }

  private:
    std::string path_;
};
