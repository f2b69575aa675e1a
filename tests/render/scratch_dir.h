// A fresh directory for the files a test writes, removed with everything in
// it, and xray-render run as its users run it.
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
    void write_text(const std::string& name, const std::string& text) const;
    // Names in the directory, sorted.
    std::vector<std::string> listing() const;

    struct Outcome {
        int status; // the exit status, or -1 when a signal ended the program
        std::string out, err;
    };
    // Runs xray-render with these arguments; its standard streams are kept
    // outside the directory, or standard output goes to `out` when given.
    Outcome run(const std::vector<std::string>& args, const std::string& out = "") const;

    std::string dir;
};
