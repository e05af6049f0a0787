// The frame tables: command codes, the fixed command buttons and the token codes.
#include "console/command/frames.h"

#include <array>

namespace sarnel {

namespace {

constexpr std::string_view kSaveLast =
    "Save the last command sequence executed into the interrupt command NV storage";
constexpr std::string_view kRunSaved = "Run the currently stored interrupt command sequence";
constexpr std::string_view kHighToLow =
    "Sets the interrupt to trigger on high-to-low transition when enabled";
constexpr std::string_view kLowToHigh =
    "Sets the interrupt to trigger on low-to-high transition when enabled";
constexpr std::string_view kEdgeOn = "Interrupt triggered on above edge and executes saved command sequence";
constexpr std::string_view kEdgeOff = "Interrupt does not initiate action";
constexpr std::string_view kSlow = "Sets I2C speed to 100kbps";
constexpr std::string_view kFast = "Sets I2C speed to 400kbps";

constexpr std::array<CommandCode, 13> kCommandCodes{{
    {"00", "$0000", "port scan, \"Ping\"", "", "00"},
    {"06", "$0006", "\"Reset?\"", "", "06"},
    {"07", "$0007", "\"Reset!\"", "", "1A"},
    {"10", "$0010", "compile", "", "10"},
    {"11", "$0011", "\"Save Last\"", kSaveLast, "11"},
    {"12", "$0012", "\"Run Saved\"", kRunSaved, "12"},
    {"13", "$0013", "\"H>L\"", kHighToLow, "13"},
    {"14", "$0014", "\"L>H\"", kLowToHigh, "14"},
    {"15", "$0015", "\"On\"", kEdgeOn, "15"},
    {"16", "$0016", "\"Off\"", kEdgeOff, "16"},
    {"17", "$0017", "\"Slow\"", kSlow, "17"},
    {"18", "$0018", "\"Fast\"", kFast, "18"},
    {"19", "$0019", "\"Ping\", after \"$0000\"", "", "19"},
}};

constexpr std::array<std::string_view, 2> kPing{"$0000\r", "$0019\r"};
constexpr std::array<std::string_view, 1> kF13{"$0013\r"};
constexpr std::array<std::string_view, 1> kF14{"$0014\r"};
constexpr std::array<std::string_view, 1> kF15{"$0015\r"};
constexpr std::array<std::string_view, 1> kF16{"$0016\r"};
constexpr std::array<std::string_view, 1> kF17{"$0017\r"};
constexpr std::array<std::string_view, 1> kF18{"$0018\r"};
constexpr std::array<std::string_view, 1> kF06{"$0006\r"};
constexpr std::array<std::string_view, 1> kF11{"$0011\r"};
constexpr std::array<std::string_view, 1> kF12{"$0012\r"};
constexpr std::array<std::string_view, 1> kF07{"$0007\r"};

constexpr std::array<CommandButton, 14> kButtons{{
    {18, "Ping", "", ButtonAction::Frames, kPing},
    {19, "H>L", kHighToLow, ButtonAction::Frames, kF13},
    {20, "L>H", kLowToHigh, ButtonAction::Frames, kF14},
    {21, "On", kEdgeOn, ButtonAction::Frames, kF15},
    {22, "Off", kEdgeOff, ButtonAction::Frames, kF16},
    {23, "Slow", kSlow, ButtonAction::Frames, kF17},
    {24, "Fast", kFast, ButtonAction::Frames, kF18},
    {25, "Reset?", "", ButtonAction::Frames, kF06},
    {26, "Save Last", kSaveLast, ButtonAction::Frames, kF11},
    {27, "Run Saved", kRunSaved, ButtonAction::Frames, kF12},
    {28, "Update", "", ButtonAction::Update, {}},
    {29, "Reset!", "", ButtonAction::Frames, kF07},
    {30, "Rescan", "", ButtonAction::Rescan, {}},
    {kCompileButton, "Compile/Transmit", "", ButtonAction::Compile, {}},
}};

constexpr std::string_view kDelayTip = "Delay is (nn + 20)uS";
constexpr std::string_view kSetVTip = "SetVx (code 76) sets any bus voltage from 0.000 to 5.000 V";

constexpr std::array<TokenCode, 33> kTokens{{
    {"00", TokenArgument::None, 0, "00     Start", "", "bus start condition"},
    {"01", TokenArgument::Byte, 1, "01nn   Write  0x", "", "write one byte"},
    {"02", TokenArgument::None, 2, "02     Read   Ack", "", "read one byte, acknowledge it"},
    {"03", TokenArgument::None, 5, "03     Read   Nack", "", "read one byte, do not acknowledge it"},
    {"04", TokenArgument::None, 3, "04     Stop", "", "bus stop condition"},
    {"05", TokenArgument::Byte, 4, "05nn   Delayu 0x", kDelayTip, "delay of nn + 20 microseconds"},
    {"06", TokenArgument::Byte, 22, "06nn   Delaym 0x", kDelayTip, "delay of nn milliseconds"},
    {"10", TokenArgument::None, 6, "10     Speed?", "", "ask for the bus speed"},
    {"20", TokenArgument::None, 7, "20     GP0LO", "", "general-purpose pin 0 low"},
    {"21", TokenArgument::None, 8, "21     GP0HI", "", "general-purpose pin 0 high"},
    {"30", TokenArgument::None, 9, "30     GP1LO", "", "general-purpose pin 1 low"},
    {"31", TokenArgument::None, 10, "31     GP1HI", "", "general-purpose pin 1 high"},
    {"40", TokenArgument::None, 11, "40     GP2LO", "", "general-purpose pin 2 low"},
    {"41", TokenArgument::None, 12, "41     GP2HI", "", "general-purpose pin 2 high"},
    {"50", TokenArgument::None, 13, "50     GP3LO", "", "general-purpose pin 3 low"},
    {"51", TokenArgument::None, 14, "51     GP3HI", "", "general-purpose pin 3 high"},
    {"60", TokenArgument::None, 15, "60     Int?", "", "ask for the interrupt input"},
    {"70", TokenArgument::None, 16, "70     SetV Open", kSetVTip, "slave interface voltage open"},
    {"71", TokenArgument::None, 17, "71     SetV 2.5", "", "slave interface voltage 2.5 V"},
    {"72", TokenArgument::None, 18, "72     SetV 3.0", "", "slave interface voltage 3.0 V"},
    {"73", TokenArgument::None, 19, "73     SetV 3.5", "", "slave interface voltage 3.5 V"},
    {"74", TokenArgument::None, 20, "74     SetV 4.0", "", "slave interface voltage 4.0 V"},
    {"75", TokenArgument::None, 21, "75     SetV 5.0", "", "slave interface voltage 5.0 V"},
    {"76", TokenArgument::Millivolts, -1, "", "", "slave interface voltage n.nnn V, 0.000 to 5.000 V"},
    {"80", TokenArgument::None, 23, "80     SCL0", "", "clock line (SCL) low"},
    {"81", TokenArgument::None, 24, "81     SCL1", "", "clock line (SCL) high"},
    {"82", TokenArgument::None, 25, "82     SDA0", "", "data line (SDA) low"},
    {"83", TokenArgument::None, 26, "83     SDA1", "", "data line (SDA) high"},
    {"90", TokenArgument::None, 28, "90     SCL?", "", "ask for the clock line level"},
    {"92", TokenArgument::None, 27, "92     SDA?", "", "ask for the data line level"},
    {"A0", TokenArgument::None, 29, "A0     GPPIN?",
     "Read Interrupt and GPIO pin states: A0izyxw (i=Int, z:w=GPIO3:0)", "read the pin states"},
    {"A1", TokenArgument::None, 30, "A1     GPDIR?", "Read GPIO direction registers: A1zyxw (z:w=GPIO3:0)",
     "read the pin directions"},
    {"A2", TokenArgument::Directions, 31, "A2nnnn GPDIR  0b",
     "Set GPIO direction A2zyxw (z:w=GPIO3:0) 1=In/0=Out", "set the pin directions"},
}};

}  // namespace

std::string commandframe(std::string_view code, std::string_view payload) {
    std::string frame = "$00";
    frame += code;
    frame += payload;
    frame += kCR;
    return frame;
}

std::span<const CommandCode> commandcodes() {
    return kCommandCodes;
}

const CommandCode* findcommandcode(std::string_view code) {
    for (const CommandCode& c : kCommandCodes) {
        if (c.code == code) return &c;
    }
    return nullptr;
}

std::string_view answercode(std::string_view frame) {
    if (frame.size() < 5 || frame.substr(0, 3) != "$00") return {};
    const CommandCode* c = findcommandcode(frame.substr(3, 2));
    return c ? c->answer : std::string_view{};
}

std::span<const CommandButton> commandbuttons() {
    return kButtons;
}

std::optional<CommandButton> commandbutton(int index) {
    if (index >= 0 && index < kPresetButtons) return CommandButton{index, "", "", ButtonAction::Preset, {}};
    for (const CommandButton& b : kButtons) {
        if (b.index == index) return b;
    }
    return std::nullopt;
}

std::span<const TokenCode> tokencodes() {
    return kTokens;
}

const TokenCode* findtokencode(std::string_view code) {
    for (const TokenCode& t : kTokens) {
        if (t.code == code) return &t;
    }
    return nullptr;
}

const TokenCode* tokenforlabel(int index) {
    for (const TokenCode& t : kTokens) {
        if (t.label >= 0 && t.label == index) return &t;
    }
    return nullptr;
}

}  // namespace sarnel
