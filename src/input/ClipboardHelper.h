#pragma once

#include <boost/shared_ptr.hpp>

class ClipboardNetMsg;

// Copies the whole Windows clipboard between the peers. The payload: u32 record count, then
// per record u32 format, u32 size and the bytes of the format's global memory block, in the
// clipboard's enumeration order; empty when there is nothing to send. A registered format
// (0xC000 and above) is numbered differently on every machine, so its record follows a
// record of format 0 that carries its name in UTF-8; a peer that does not know this refuses
// format 0 and goes on. Formats whose data is a handle rather than bytes, private formats
// and file-drop lists are never sent or set. Static; any thread that may open the clipboard.
class ClipboardHelper {
public:
    // The local clipboard as a message; its payload is empty when the clipboard cannot be
    // opened or holds no format. Never null.
    static boost::shared_ptr<ClipboardNetMsg> CreateClipboardMessage();
    // Sets every record of the peer's payload on the local clipboard under the same format
    // (a registered one under the local number of its name), on top of what is there. The
    // payload is untrusted: a count or size that runs past its end stops at the last whole
    // record (logged), at most 512 records are read and at most 64 names registered, each only
    // for a record that is set. Failures are logged, never raised.
    static void ProcessClipboardMessage(ClipboardNetMsg const& message);
};
