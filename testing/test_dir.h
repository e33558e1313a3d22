// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// A private temporary directory for one test, removed with all it holds.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

class test_dir {
public:
    test_dir() {
        std::string pattern = testing::TempDir() + "lwm2m-test-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("can't make a temporary directory");
        }
        root_ = pattern;
    }
    ~test_dir() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    test_dir(const test_dir&) = delete;
    test_dir& operator=(const test_dir&) = delete;

    const std::string& path() const { return root_; }
    std::string path(std::string_view name) const { return root_ + "/" + std::string(name); }

    // Writes `contents` to the file `name` in the directory, replacing it,
    // and returns its path.
    std::string write(std::string_view name, std::string_view contents) const {
        std::string file = path(name);
        std::ofstream(file, std::ios::binary | std::ios::trunc) << contents;
        return file;
    }

    static std::string read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    std::string root_;
};
