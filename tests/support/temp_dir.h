#pragma once

#include <string>

namespace folio::engine::testing {

// A fresh folder under the system's temporary folder, removed with everything in
// it when the object goes away.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // The path of `name` inside the folder.
    std::string File(const std::string& name) const;

  private:
    std::string path_;
};

}  // namespace folio::engine::testing
