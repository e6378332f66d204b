#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

// A new, empty folder for one test, removed with everything in it when the test is done.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "sentello-test-XXXXXX");
        m_path = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() {
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};
