#include "PeerCommands.h"

#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <tuple>
#include <vector>

#include "foundation/Errors.h"
#include "network/ControlMessages.h"

namespace {
constexpr DWORD kWaitMs = 10000;
constexpr std::size_t kMaxPayload = 64 * 1024 * 1024;

// A number of at most `digits` decimal digits; std::invalid_argument for anything else.
unsigned long Number(std::string const& text, std::size_t digits = 9, int base = 10) {
    if (text.empty() || text.size() > digits ||
        text.find_first_not_of(base == 16 ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos) {
        throw std::invalid_argument("not a number: " + text);
    }
    return std::stoul(text, nullptr, base);
}

// Two words of `arguments`; std::invalid_argument when there are not exactly two.
std::pair<std::string, std::string> TwoWords(std::string const& arguments) {
    std::size_t blank = arguments.find(' ');
    if (blank == std::string::npos || arguments.find(' ', blank + 1) != std::string::npos) {
        throw std::invalid_argument("needs two words");
    }
    return {arguments.substr(0, blank), arguments.substr(blank + 1)};
}

// Bytes no compression shrinks.
std::vector<unsigned char> NoiseBytes(std::size_t size) {
    std::vector<unsigned char> bytes(size);
    unsigned seed = 2463534242u;
    for (unsigned char& byte : bytes) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        byte = static_cast<unsigned char>(seed >> 24);
    }
    return bytes;
}

// A desktop-like picture's pixels, 24 bits each, 1280 to a row: a gradient with windows of
// text-like strokes, so that compression has real work.
std::vector<unsigned char> ScreenLikeBytes(std::size_t size) {
    std::vector<unsigned char> bytes(size);
    unsigned seed = 12345;
    for (std::size_t i = 0; i < size; ++i) {
        std::size_t pixel = i / 3;
        int x = static_cast<int>(pixel % 1280);
        int y = static_cast<int>(pixel / 1280);
        bool window = (x / 320 + y / 256) % 3 == 1;
        seed = seed * 1103515245 + 12345;
        bool stroke = window && (y % 16) < 10 && ((seed >> 16) & 7) == 0;
        int channel = static_cast<int>(i % 3);
        int gradient = channel == 0 ? x * 255 / 1280 : channel == 1 ? (y % 1024) * 255 / 1024 : 128;
        bytes[i] = static_cast<unsigned char>(window ? (stroke ? 0 : 240) : gradient);
    }
    return bytes;
}

void NeedText(std::string const& text) {
    if (text.empty() || text.find(':') != std::string::npos) {
        throw std::invalid_argument("needs a text without \":\"");
    }
}
}  // namespace

PeerCommands::PeerCommands(PeerHost& host, PeerDesktop& desktop, PeerOutput& output, PeerSessions* sessions)
    : mHost(host), mDesktop(desktop), mOutput(output), mSessions(sessions) {
    Add("help", "", "lists the commands", [this](std::string const&) { Help(); });
    Add("sleep", "MS", "waits", [](std::string const& ms) { Sleep(Number(ms, 6)); });
    AddMessengerCommands();
    AddMessageCommands();
    AddDesktopCommands();
    AddSessionCommands();
    AddSharingCommands();
    AddPlannedCommands();
    AddViewCommands();
}

void PeerCommands::Add(std::string const& name, std::string const& usage, std::string const& help,
                       Handler run) {
    mCommands[name] = {usage, help, std::move(run)};
}

void PeerCommands::AddMessengerCommands() {
    Add("attach", "", "attaches to the messenger and registers the applications", [this](std::string const&) {
        if (!mHost.Attach(kWaitMs)) {
            throw std::runtime_error("no attachment within 10 s");
        }
    });
    Add("connect", "CONTACT", "opens both applications' streams to the contact",
        [this](std::string const& who) {
            if (who.empty() || !mHost.Connect(who, kWaitMs)) {
                throw std::runtime_error("the streams to \"" + who + "\" did not open within 10 s");
            }
        });
    Add("wait-connected", "[SECONDS]", "waits until a contact's streams are open",
        [this](std::string const& s) {
            if (!mHost.WaitConnected(s.empty() ? kWaitMs : Number(s, 3) * 1000)) {
                throw std::runtime_error("no contact connected");
            }
            mOutput.Say("ready");
        });
}

void PeerCommands::AddMessageCommands() {
    Add("discovery", "", "tells the contact who is here",
        [this](std::string const&) { mHost.Control().Protocol().Send(DiscoveryNetMsg(true)); });
    Add("ping", "TEXT", "connection test: the contact echoes the text", [this](std::string const& text) {
        NeedText(text);
        mHost.Control().SendPing(text);
    });
    Add("datagram", "TEXT", "the connection test as a datagram", [this](std::string const& text) {
        NeedText(text);
        mHost.Control().SendDatagramPing(text);
    });
    Add("clipboard", "TEXT", "sends a clipboard text to the contact", [this](std::string const& text) {
        if (text.empty()) {
            throw std::invalid_argument("an empty clipboard cannot travel");
        }
        mHost.Control().SendClipboard(std::vector<unsigned char>(text.begin(), text.end()));
    });
    Add("payload", "BYTES|screen [noise]",
        "screen-like (or random) bytes as clipboard contents on the screen stream",
        [this](std::string const& arguments) {
            std::size_t blank = arguments.find(' ');
            std::string size = arguments.substr(0, blank);
            bool noise = blank != std::string::npos && arguments.substr(blank + 1) == "noise";
            std::size_t bytes = size == "screen" ? 1280 * 1024 * 3 : Number(size);
            if (bytes == 0 || bytes > kMaxPayload) {
                throw std::invalid_argument("1 to 67108864 bytes");
            }
            mHost.Screen().SendClipboard(noise ? NoiseBytes(bytes) : ScreenLikeBytes(bytes));
        });
    Add("counters", "", "characters sent and received per stream", [this](std::string const&) {
        mOutput.Say("counters " + mHost.Control().Counters() + "; " + mHost.Screen().Counters());
    });
}

void PeerCommands::AddDesktopCommands() {
    Add("paint", "RRGGBB", "covers this machine's screen with a colour", [this](std::string const& colour) {
        if (!mDesktop.Paint(Number(colour, 6, 16), kWaitMs)) {
            throw std::runtime_error("the screen did not show the colour");
        }
        mOutput.Say("painted " + colour);
    });
    Add("pixel", "X Y", "the colour of this machine's screen at a point", [this](std::string const& point) {
        auto [x, y] = TwoWords(point);
        char colour[16];
        std::snprintf(colour, sizeof(colour), "%06lx", mDesktop.Pixel(Number(x, 5), Number(y, 5)));
        mOutput.Say("pixel " + point + " " + colour);
    });
    Add("put-clipboard", "TEXT", "puts a text on this machine's clipboard", [this](std::string const& text) {
        if (!mDesktop.PutClipboardText(text)) {
            throw std::runtime_error("the clipboard did not take the text");
        }
        mOutput.Say("clipboard set");
    });
    Add("show-clipboard", "", "the text on this machine's clipboard", [this](std::string const&) {
        std::string text;
        mOutput.Say(mDesktop.ClipboardText(text) ? "clipboard " + PeerOutput::Quote(text)
                                                 : "clipboard empty");
    });
}

PeerSessions& PeerCommands::Sessions() {
    if (!mSessions) {
        throw std::runtime_error("start the peer host with --sessions");
    }
    return *mSessions;
}

void PeerCommands::AddSessionCommands() {
    using Action = void (PeerSessions::*)(std::string const&);
    std::tuple<char const*, char const*, Action> const commands[] = {
        {"request", "asks the contact for their desktop", &PeerSessions::Request},
        {"share", "offers the own desktop to the contact", &PeerSessions::Share},
        {"accept", "accepts what the contact asks or offers", &PeerSessions::Accept},
        {"decline", "declines it", &PeerSessions::Decline},
        {"stop", "stops viewing or sharing, or cancels the question asked", &PeerSessions::Stop},
        {"auto-accept", "accepts every later request and offer of the contact", &PeerSessions::AutoAccept},
        {"view-only", "the contact may watch what we share, not control it", &PeerSessions::ViewOnly},
        {"give-control", "the contact may control what we share", &PeerSessions::GiveControl},
        {"status", "the session's state and status lines", &PeerSessions::PrintStatus},
    };
    for (auto const& [name, help, action] : commands) {
        Action const run = action;
        Add(name, "[CONTACT]", help, [this, run](std::string const& contact) { (Sessions().*run)(contact); });
    }
    Add("status-page", "FILE", "writes the HTML status page", [this](std::string const& file) {
        if (file.empty()) {
            throw std::invalid_argument("needs a file");
        }
        Sessions().WriteStatusPage(file);
    });
    Add("record", "[FOLDER]", "records the viewed desktop into FOLDER (default: the configured one)",
        [this](std::string const& folder) { Sessions().Record(folder); });
    Add("record-stop", "[PNG]",
        "ends the recording, prints its frames, size and rate, saves its middle frame",
        [this](std::string const& png) { Sessions().StopRecording(png); });
}

void PeerCommands::AddSharingCommands() {
    if (mSessions) {
        mSharing = std::make_unique<PeerSharing>(*mSessions, mOutput);
    }
    auto sharing = [this]() -> PeerSharing& {
        Sessions();
        return *mSharing;
    };
    Add("quality", "DEPTH raw|jpeg", "the colour depth and compression to ask for",
        [this](std::string const& arguments) {
            auto [depth, kind] = TwoWords(arguments);
            if (kind != "raw" && kind != "jpeg") {
                throw std::invalid_argument("raw or jpeg");
            }
            SessionQualityConfiguration& quality = Sessions().Config().SessionQuality;
            quality.ColorDepth.Set(Number(depth, 2));
            quality.UseJpeg.Set(kind == "jpeg");
            mOutput.Say("quality " + arguments);
        });
    Add("tap", "[CONTACT]", "listens beside the session to what the contact shares",
        [sharing](std::string const& contact) { sharing().Tap(contact); });
    Add("tap-counts", "", "changes, bytes, mouse moves and clipboards the tap received",
        [sharing](std::string const&) { sharing().PrintCounts(); });
    for (bool const picture : {false, true}) {
        Add(picture ? "view-sum" : "tap-screen", "SUM [SECONDS]",
            picture ? "waits until the picture of the tapped contact has the checksum"
                    : "waits until the tap's rebuilt screen has the checksum",
            [sharing, picture](std::string const& arguments) {
                std::size_t const blank = arguments.find(' ');
                unsigned const seconds =
                    blank == std::string::npos ? 30 : Number(arguments.substr(blank + 1), 3);
                sharing().WaitScreen(arguments.substr(0, blank), seconds, picture);
            });
    }
    Add("screen-shot", "FILE", "saves this machine's screen as PNG",
        [this, sharing](std::string const& file) {
            if (file.empty()) {
                throw std::invalid_argument("needs a file");
            }
            sharing().SaveScreen(std::wstring(file.begin(), file.end()));
            mOutput.Say("screen-shot " + file);
        });
    Add("screen-sum", "", "this machine's screen size and checksum",
        [sharing](std::string const&) { sharing().PrintScreenSum(); });
    Add("pattern", "SEED", "draws rectangles and text on this machine's screen",
        [this](std::string const& seed) {
            if (!mDesktop.PaintPattern(Number(seed, 6), kWaitMs)) {
                throw std::runtime_error("the screen did not show the pattern");
            }
            mOutput.Say("pattern " + seed);
        });
    Add("send-mouse", "X Y", "moves the contact's cursor as the viewer's input",
        [sharing](std::string const& point) {
            auto [x, y] = TwoWords(point);
            sharing().SendMouse(std::string(), Number(x, 5), Number(y, 5));
        });
    Add("cursor", "X Y", "waits until this machine's cursor is at the point; says where it is",
        [sharing](std::string const& point) {
            auto [x, y] = TwoWords(point);
            sharing().WaitCursor(Number(x, 5), Number(y, 5), 10);
        });
    Add("set-cursor", "X Y", "moves this machine's cursor", [this](std::string const& point) {
        auto [x, y] = TwoWords(point);
        SetCursorPos(Number(x, 5), Number(y, 5));
        mOutput.Say("cursor set");
    });
    Add("animate", "on|scroll|type|still|off",
        "repaints a 640x480 area, scrolls the screen or types, with the paint's time in it; still stops "
        "and says when",
        [sharing](std::string const& how) {
            if (how == "still") {
                sharing().HoldStill();
                return;
            }
            sharing().SetWorkload(how == "scroll" ? PeerSharing::Workload::Scroll
                                  : how == "type" ? PeerSharing::Workload::Typing
                                                  : PeerSharing::Workload::Area);
            sharing().Animate(how != "off");
        });
    Add("stamp-row", "ROW", "the row of the second time strip the tap reads (0: none)",
        [this, sharing](std::string const& row) {
            sharing().SetStampRow(Number(row, 5));
            mOutput.Say("stamp-row " + row);
        });
    Add("cpu", "SECONDS", "this process's processor time over that time, in percent of one core",
        [sharing](std::string const& seconds) { sharing().PrintCpu(Number(seconds, 3)); });
    Add("baseline", "SECONDS raw|jpeg", "sends the animated area to the contact without a tracker",
        [sharing](std::string const& arguments) {
            auto [seconds, kind] = TwoWords(arguments);
            sharing().Baseline(std::string(), Number(seconds, 3), kind == "jpeg");
        });
    Add("measure", "LABEL SECONDS [tap]",
        "what the tap receives in that time, with the delay from paint to bob's picture (tap: to the tap's "
        "copy)",
        [sharing](std::string const& arguments) {
            std::istringstream words(arguments);
            std::string label, seconds, source;
            words >> label >> seconds >> source;
            sharing().Measure(label, Number(seconds, 3), source == "tap");
        });
    Add("push-clipboard", "", "sends this clipboard to the contact through the session",
        [sharing](std::string const&) { sharing().PushClipboard(std::string()); });
    Add("pull-clipboard", "", "asks the contact's clipboard through the session and sets it here",
        [sharing](std::string const&) { sharing().PullClipboard(std::string()); });
}

void PeerCommands::AddPlannedCommands() {
    std::pair<char const*, char const*> const planned[] = {
        {"mouse", "moves the viewer's mouse: X Y"},
        {"save", "saves the viewed picture as PNG: FILE"},
    };
    for (auto const& command : planned) {
        Add(command.first, "", command.second, nullptr);
    }
}

void PeerCommands::AddViewCommands() {
    Add("view-watch", "[CONTACT]", "counts and keeps the frames drawn for the contact",
        [this](std::string const& contact) { Sessions().WatchView(contact); });
    Add("view-stats", "", "frames drawn, their area and rate, and the bytes received",
        [this](std::string const&) {
            mOutput.Say("view-stats " + Sessions().View().Stats() + ", received " +
                        Sessions().ReceivedBytes(""));
        });
    Add("save", "FILE", "saves the viewed picture as PNG", [this](std::string const& file) {
        if (file.empty() || !Sessions().View().Save(std::wstring(file.begin(), file.end()))) {
            throw std::runtime_error("no picture to save");
        }
        mOutput.Say("saved " + file);
    });
    Add("view-colour", "X Y RRGGBB [SECONDS]", "waits until the picture shows the colour at the point",
        [this](std::string const& arguments) {
            std::istringstream words(arguments);
            std::string x, y, colour, seconds = "10";
            words >> x >> y >> colour >> seconds;
            double const seen = Sessions().View().WaitForColour(
                Number(x, 5), Number(y, 5), Number(colour, 6, 16), Number(seconds, 3) * 1000);
            if (seen < 0) {
                throw std::runtime_error("the picture did not show " + colour);
            }
            char line[96];
            std::snprintf(line, sizeof(line), "view-colour %s at %.1f ms", colour.c_str(), seen);
            mOutput.Say(line);
        });
    Add("view-quiet", "MS", "waits until no frame came for that long (30 s at most)",
        [this](std::string const& ms) {
            if (!Sessions().View().WaitQuiet(Number(ms, 5), 30000)) {
                throw std::runtime_error("the view did not settle");
            }
            mOutput.Say("view quiet");
        });
    Add("view-quality", "DEPTH [jpeg QUALITY]", "the quality of later requests and offers",
        [this](std::string const& text) { Sessions().SetQuality(text); });
    Add("mouse", "X Y [click]", "moves the viewer's mouse in the view",
        [this](std::string const& arguments) { Sessions().Mouse(arguments); });
    Add("send-clipboard", "[CONTACT]", "sends this machine's clipboard to the contact",
        [this](std::string const& contact) { Sessions().SendClipboard(contact); });
    Add("request-clipboard", "[CONTACT]", "asks the sharing contact for their clipboard",
        [this](std::string const& contact) { Sessions().RequestClipboard(contact); });
}

void PeerCommands::Help() {
    for (auto const& entry : mCommands) {
        Command const& command = entry.second;
        mOutput.Say("help " + entry.first + (command.usage.empty() ? "" : " " + command.usage) + ": " +
                    command.help + (command.run ? "" : " (not available yet)"));
    }
    mOutput.Say("help quit: ends the peer host");
}

bool PeerCommands::Run(std::string const& line) {
    std::size_t blank = line.find(' ');
    std::string name = line.substr(0, blank);
    std::string arguments = blank == std::string::npos ? std::string() : line.substr(blank + 1);
    if (name.empty() || name[0] == '#') {
        return true;
    }
    if (name == "quit") {
        mOutput.Say("bye");
        return false;
    }
    auto command = mCommands.find(name);
    if (command == mCommands.end()) {
        mOutput.Error("unknown command " + PeerOutput::Quote(name) + " (\"help\" lists them)");
        return true;
    }
    if (!command->second.run) {
        mOutput.Error(name + ": not available yet: this peer host has no sessions");
        return true;
    }
    try {
        command->second.run(arguments);
    } catch (BaseError const& error) {
        mOutput.Error(name + ": " + error.what());
    } catch (std::exception const& error) {
        mOutput.Error(name + ": " + error.what());
    }
    return true;
}
