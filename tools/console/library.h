// The library as the console loads it: by path, then each export by its plain name.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace console {

class LibraryError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class Library {
  public:
    // Throws LibraryError when the library cannot be loaded.
    explicit Library(const std::filesystem::path& path);
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    ~Library();

    // The export's address, or null when the library does not export the name.
    void* Find(const char* name) const;
    // The module handle (HMODULE on Windows, the dlopen handle on Linux).
    void* Handle() const { return handle_; }
    template <class Fn>
    Fn Get(const char* name) const {
        return reinterpret_cast<Fn>(Find(name));
    }

  private:
    void* handle_ = nullptr;
};

// The library's file name on this system, and the folder of the running console.
const char* LibraryFileName();
std::filesystem::path ExecutableDir();

// Puts the standard output in the mode the transcripts are written in: the same bytes on every
// system (no CR before each LF on Windows).
void PrepareStandardOutput();

// Where the library is when --library does not say: next to the executable, else the build
// tree the console was built in.
std::filesystem::path DefaultLibraryPath();
// Where the bundled demo is: below the current directory (the repository root), else the source
// tree the console was built from.
std::filesystem::path DefaultScenarioPath();

}  // namespace console
