#pragma once

#include <string>

// The folder of the upload picture, which only this user can enter: "sentello" in the session's
// runtime folder ($XDG_RUNTIME_DIR) when it is, or can be made, a folder of this user's own with
// mode 0700; otherwise a new private folder under $TMPDIR (or /tmp), removed again with this
// object. A folder that belongs to someone else, lets others in or is a link is never used.
class PictureFolder {
public:
    PictureFolder();
    PictureFolder(const PictureFolder&) = delete;
    PictureFolder& operator=(const PictureFolder&) = delete;
    ~PictureFolder();

    // "sentello.jpg" in the folder; empty when no private folder could be had.
    const std::string& picturePath() const { return m_picturePath; }

private:
    std::string m_picturePath;
    std::string m_madeFolder;  // a temporary folder of this run's own, or empty
};

// Whether `folder` is a folder (not a link) that belongs to this user and lets nobody else in.
bool isPrivateFolder(const std::string& folder);
