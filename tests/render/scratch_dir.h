// A fresh directory for the files a test writes, removed with everything in it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

class ScratchDir : public ::testing::Test {
  protected:
    ScratchDir();
    ~ScratchDir() override;

    std::string path(const std::string& name) const { return dir + "/" + name; }
    void write(const std::string& name, const std::vector<uint8_t>& bytes) const;
    // Names in the directory, sorted.
    std::vector<std::string> listing() const;

    std::string dir;
};
