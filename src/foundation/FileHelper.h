#pragma once

#include <string>

// Static path helpers; narrow-character paths.
class FileHelper {
public:
    // Creates every missing folder of an absolute path that names folders ("C:\a\b" creates
    // C:\a and C:\a\b). The first component (the drive) is never created; failures are ignored.
    static void CreateFullPath(std::string const& path);
    // The two paths combined by the platform's rule; empty when they cannot be combined.
    static std::string CombinePath(std::string const& first, std::string const& second);
    // The folder of the running executable (not of this library), ending with a backslash;
    // empty when its name has no backslash.
    static std::string GetModulePath();
    // A copy of one file-name component with each of ?:\/*"<>| replaced by `replacement`.
    static std::string ReplaceInvalidChars(std::string const& fileName, char replacement);
};
