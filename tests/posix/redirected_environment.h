#pragma once

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

namespace folio::testing {

// A fixture that gives each test its own temporary HOME and XDG folders, so that
// nothing of the user running the tests is read or changed, and puts the environment
// back afterwards.
class RedirectedEnvironment : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    void SetVariable(const std::string& name, const std::string& value);

    std::string Read(const std::string& path) const;
    void Write(const std::string& path, const std::string& bytes) const;
    bool Exists(const std::string& path) const;

    std::string root;        // the temporary folder holding everything below
    std::string home;        // $HOME
    std::string dataHome;    // $XDG_DATA_HOME
    std::string configHome;  // $XDG_CONFIG_HOME
    std::string registryPath;

  private:
    std::map<std::string, std::optional<std::string>> saved_;
};

}  // namespace folio::testing
