#pragma once

#include <string>

// Where a recording goes. The name comes from the peer (his display name), so it is built
// from a whitelist of characters, cut to a length, and the result is checked to lie directly
// in the recording folder. Any thread.
class RecordingFileName {
public:
    // Characters of the person's name kept at most.
    static constexpr std::size_t kMaxNameChars = 64;

    // "<person> <stamp>" in `folder`: letters and digits of any script and " -_.()," of the
    // person's name (UTF-8) are kept, anything else becomes "_"; `stamp` is our own text
    // ("MM-DD-YY HH.MM.SS.avi"). The name is shortened further where the whole path would not
    // fit MAX_PATH. Empty when even an empty name would not fit, or the result would not lie
    // directly inside `folder`.
    static std::string Build(std::string const& folder, std::string const& person, std::string const& stamp);

    // Whether `path` names an entry directly inside `folder`, once both are made absolute and
    // "." and ".." are resolved.
    static bool IsDirectlyInside(std::string const& folder, std::string const& path);

private:
    // The whitelisted name in the ANSI code page; characters it lacks become "_".
    static std::string SafeName(std::wstring const& name);
};
