#ifndef DIRCLIENT_RUNTIME_TEST_DIR_H
#define DIRCLIENT_RUNTIME_TEST_DIR_H

// A fresh temporary directory made the current one for the lifetime of the object; the
// runtime writes its log into the current directory.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

class ScopedTestDir {
  public:
    ScopedTestDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "dirclient-rt-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) ? pattern : std::string();
        old_ = std::filesystem::current_path();
        std::filesystem::current_path(path_);
    }
    ~ScopedTestDir() {
        std::error_code ec;
        std::filesystem::current_path(old_, ec);
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

    static std::string read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

  private:
    std::string path_;
    std::filesystem::path old_;
};

#endif
