#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "../tempfolder.h"
#include "settings/settingswriter.h"

// A settings file in a folder of its own, put there and read back as bytes.
class SettingsFileFixture : public testing::Test {
protected:
    // What the disk holds once the settings writer has written what it was given.
    std::string contents() const {
        SettingsWriter::instance().waitUntilWritten(std::filesystem::weakly_canonical(m_path));
        std::ifstream in(m_path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void put(const std::string& bytes) { std::ofstream(m_path, std::ios::binary) << bytes; }

    TempFolder m_temp;
    const std::filesystem::path& m_folder = m_temp.path();
    std::string m_path = (m_folder / "Sentello.prefs").string();
};
