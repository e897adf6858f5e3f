// Test helpers for the application shell: a temporary folder, file access and a hand clock.
#pragma once

#include "app/clock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace rizuzez::testing {

namespace fs = std::filesystem;

// A fresh folder per test, removed afterwards.
class TempDir {
public:
    TempDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        for (char& c : name) {
            if (c == '/') {
                c = '_';
            }
        }
        m_path =
            fs::temp_directory_path() / ("rizuzez_app_" + std::to_string(::getpid()) + "_" + name);
        fs::remove_all(m_path);
        fs::create_directories(m_path);
    }
    ~TempDir() {
        std::error_code ec;
        // Undo chmod of test files so that the folder can go.
        for (auto it = fs::recursive_directory_iterator(m_path, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
        fs::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& path() const { return m_path; }
    std::string str() const { return m_path.string(); }

private:
    fs::path m_path;
};

inline std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void writeFile(const fs::path& p, const std::string& data) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << data;
}

// A clock moved by hand.
class HandClock final : public Clock {
public:
    explicit HandClock(LocalDateTime t) : m_t(t) {}
    LocalDateTime now() const override { return m_t; }
    void set(LocalDateTime t) { m_t = t; }
    void advanceSeconds(double s) { m_t = fromDays(toDays(m_t) + s / 86400.0); }

private:
    LocalDateTime m_t;
};

} // namespace rizuzez::testing
