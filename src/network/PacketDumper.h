#pragma once

#include <cstddef>
#include <string>

// Writes sent and received texts to files for diagnosis, under
// "<executable folder>dump\<folder>\sent|recv\", one file per text, named after the local time,
// the sequence number and the kind: "14.5.9.37_12.pkt", "14.5.9.38_-1_bad.pkt".
class PacketDumper {
public:
    static constexpr char kSent[] = "sent";
    static constexpr char kReceived[] = "recv";
    static constexpr char kMessage[] = "msg";
    static constexpr char kPacket[] = "pkt";

    // Enables dumping into `folder`: deletes the earlier *.pkt and *.msg files of its two
    // direction folders and creates them.
    void Enable(std::string const& folder);
    bool IsEnabled() const { return mEnabled; }

    // Writes `length` bytes into a new file; a file that cannot be opened is only logged.
    void Dump(char const* direction, char const* kind, char const* bytes, std::size_t length, int sequence,
              bool good) const;

    // "<executable folder>dump\<folder>\<direction>\".
    std::string DirectionFolder(char const* direction) const;

private:
    bool mEnabled = false;
    std::string mFolder;
};
