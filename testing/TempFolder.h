#pragma once

#include <string>

// A fresh folder under the system's temporary folder, removed with everything in it when
// the object goes. Paths are narrow and end without a backslash.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(TempFolder const&) = delete;
    TempFolder& operator=(TempFolder const&) = delete;

    std::string const& Path() const { return mPath; }
    std::string File(std::string const& name) const { return mPath + "\\" + name; }

private:
    std::string mPath;
};

// Whole-file helpers for tests.
std::string ReadWholeFile(std::string const& path);
void WriteWholeFile(std::string const& path, std::string const& content);
