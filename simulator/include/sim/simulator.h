// The adapter simulator: one simulated I2C bus-master adapter on a fresh pseudo-terminal.
//
// An Adapter owns the master side of a pseudo-terminal and runs the adapter's firmware in a
// thread of its own: the application (identification, status, script frames, interrupt
// settings, the stored sequence, reset) with an I2C bus behind it (by default an LM75
// temperature sensor at 0x48 (0x90/0x91 on the wire) and a 256-byte serial EEPROM at 0x50
// (0xA0/0xA1), or the devices Options::devices names; SCL/SDA, four GPIO pins, the
// interrupt input, the slave supply), and the resident bootloader that takes Intel HEX lines
// into a program memory. The console opens devicePath() (or DIR/COMn after linkAs) like any
// serial port; every reply is "!", the reply text, CR, LF.
//
// Threads: every member may be called from any thread; the state accessors return snapshots
// taken under the simulator's lock. The destructor stops the thread and removes the link.
// Errors: the constructor, linkAs and replug throw std::system_error when the system refuses
// (no pseudo-terminal, a link that cannot be made); nothing else throws except
// std::invalid_argument for arguments out of the documented range.
//
// The frames, replies, memory map and line limits are described in docs/simulator.md.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// The identification reply depends on the model: "!0000022600" (USB 6354) or "!0000015300"
// (RS-232 6208), then the two-digit firmware version.
enum class Model { Usb6354, Rs232_6208 };

// Faults a test can switch on. Each applies to every reply written while it is on (the
// frames are still executed, so the bus state changes as without the fault).
enum class Fault {
    Silence,     // nothing is written
    Split,       // each reply in portions of FaultTuning::splitBytes with splitPause between
    NoLineFeed,  // replies end in CR without the LF
    Garbage,     // FaultTuning::garbageBytes noise bytes (no "!", CR or LF) before each reply
    Nul,         // a NUL byte before each reply
    Burst,       // FaultTuning::burstLines unrelated text lines (CR LF, no "!") before each reply
};

// "silence", "split", "nolf", "garbage", "nul", "burst"; nullopt for any other name.
std::optional<Fault> faultFromName(std::string_view name);
std::string_view faultName(Fault fault);

struct FaultTuning {
    std::size_t splitBytes = 3;
    std::chrono::milliseconds splitPause{20};
    std::size_t burstLines = 20;
    std::size_t garbageBytes = 5;
};

// Address space of the bootloader (Intel HEX addresses). Data records below programMemorySize
// are programmed; records at or above highMemoryBase (configuration, ID words, data EEPROM)
// are answered "Bh" and ignored; anything between, or a record that runs past the end of the
// program memory, is rejected with "Bl".
inline constexpr std::uint32_t programMemorySize = 0x8000;  // 32 KiB, erased value 0xFF
inline constexpr std::uint32_t highMemoryBase = 0x200000;
// The bootloader's line buffer: at most this many characters between "$" and CR; longer lines
// are rejected with "Bl" unparsed. A data record carries at most maxRecordBytes data bytes.
inline constexpr std::size_t lineLimit = 80;
inline constexpr std::size_t maxRecordBytes = 32;

// The devices the bus can hold, each at a 7-bit address of its own.
enum class DeviceKind {
    Lm75,    // temperature sensor: pointer, temperature, configuration, Thyst, Tos
    Eeprom,  // 256-byte serial EEPROM with 8-byte pages and sequential reads
};

struct Device {
    DeviceKind kind;
    std::uint8_t address;  // 7-bit, firstDeviceAddress..lastDeviceAddress
    bool operator==(const Device&) const = default;
};

// The addresses a device may take: the reserved ones at both ends of the 7-bit space (general
// call, start byte, high-speed master codes, 10-bit addressing) are left out.
inline constexpr std::uint8_t firstDeviceAddress = 0x08;
inline constexpr std::uint8_t lastDeviceAddress = 0x77;

// The bus of every adapter unless told otherwise: an LM75 at 0x48 and an EEPROM at 0x50.
std::vector<Device> defaultDevices();

// A device named as on sarnel-sim's command line: KIND@ADDRESS, KIND "lm75" or "eeprom"
// (any letter case), ADDRESS decimal or hexadecimal with "0x" within the device addresses,
// e.g. "lm75@0x49", "eeprom@87". nullopt with the reason in `error` (when given) otherwise.
std::optional<Device> deviceFromSpec(std::string_view spec, std::string* error = nullptr);
// "lm75" or "eeprom".
std::string_view deviceKindName(DeviceKind kind);

struct Options {
    Model model = Model::Usb6354;
    // The devices on the I2C bus: at distinct addresses within the device addresses (the
    // constructor throws std::invalid_argument otherwise); empty for a bus without devices.
    std::vector<Device> devices = defaultDevices();
    int firmwareVersion = 5;   // 0..99, positions 11-12 of the identification reply
    int firmwareRevision = 0;  // 0..99, positions 9-10 ("00" on every released adapter)
    int paceBaud = 0;          // 0: no pacing; else bytes cross the link at 10 bits a byte
    bool startInBootloader = false;
    std::chrono::microseconds flashTimePerLine{1000};  // per accepted data record ("Ba")
    std::chrono::microseconds eraseTime{20000};        // for "$E"
    std::chrono::microseconds eepromWriteCycle{5000};  // EEPROM busy (not acknowledging) after a write
    // The adapter's UART runs at 115200 baud. With this on, a host that has set the port to
    // another rate is not understood and does not understand: what it sends is dropped and the
    // replies do not reach it. Off: any rate works. (A pseudo-terminal always carries 8 data
    // bits without parity, so those cannot differ.)
    bool checkLineSettings = true;
};

// LM75 registers. Temperature, Thyst and Tos are the 16-bit register images (MSB first on the
// bus; the low 7 bits read 0): 25.0 C is 0x1900, -0.5 C is 0xFF80.
struct Lm75State {
    std::uint8_t pointer = 0;
    std::uint16_t temperature = 0x1900;
    std::uint8_t config = 0;
    std::uint16_t thyst = 0x4B00;  // 75 C
    std::uint16_t tos = 0x5000;    // 80 C
};

struct EepromState {
    std::array<std::uint8_t, 256> bytes{};  // erased value 0xFF
    std::uint8_t address = 0;               // the address counter
};

struct BusState {
    // The LM75 and the EEPROM with the lowest address of their kind (on the default bus, the
    // only ones); default values when the bus holds none of that kind.
    Lm75State lm75;
    std::array<std::uint8_t, 256> eeprom{};  // erased value 0xFF
    std::uint8_t eepromAddress = 0;          // the EEPROM's address counter
    // Every device, by its 7-bit address.
    std::map<std::uint8_t, Lm75State> lm75s;
    std::map<std::uint8_t, EepromState> eeproms;
    std::array<bool, 4> gpioInput{};  // direction, GP0..GP3: true = input ("1" in A2zyxw)
    std::array<bool, 4> gpioLatch{};  // output latch set by GPnLO/GPnHI
    std::array<bool, 4> gpioLevel{};  // level at the pin: latch for outputs, outside level for inputs
    bool scl = true;                  // line levels (released lines read 1)
    bool sda = true;
    bool interruptInput = true;
    bool supplyOpen = true;    // "SetV Open": the slave supply is not driven
    int supplyMillivolts = 0;  // 0..5000; 0 while open
    bool fast = false;         // 400 kbit/s
    bool triggerOn = false;    // edge trigger enabled
    bool edgeLowToHigh = false;
    bool inBootloader = false;
    std::string lastSequence;    // token text of the last script frame executed
    std::string storedSequence;  // the non-volatile interrupt command sequence ("" when empty)
};

struct LinkStats {
    std::uint64_t framesReceived = 0;  // lines ended by CR that held a "$"
    std::uint64_t bytesReceived = 0;
    std::uint64_t bytesSent = 0;
    std::chrono::nanoseconds cpuTime{0};  // CPU time of the simulator's thread so far
};

class Adapter {
public:
    // Opens a pseudo-terminal, sets its slave side to 115200 8N1 raw, keeps one slave
    // descriptor open (so the master never reads EIO between the console's openings) and starts
    // the thread.
    explicit Adapter(Options options = {});
    ~Adapter();
    Adapter(const Adapter&) = delete;
    Adapter& operator=(const Adapter&) = delete;

    // The slave device, e.g. "/dev/pts/7". Empty after unplug() until replug().
    std::string devicePath() const;

    // Makes dir/COM<com> a symbolic link to devicePath() (replacing an existing entry of that
    // name), so that a console with VESKOR_PORT_DIR=dir finds the adapter as COM<com>. The link
    // is removed by unplug(), stop() and the destructor, and re-made by replug(). com 1..999.
    void linkAs(const std::filesystem::path& dir, int com);

    void setModel(Model model);
    Model model() const;
    void setFirmwareVersion(int version, int revision = 0);

    // Line-rate pacing in both directions: 0 switches it off.
    void setPacing(int baud);

    void setFault(Fault fault, bool on = true);
    void clearFaults();
    void setFaultTuning(const FaultTuning& tuning);

    // Outside levels. The interrupt input raises the interrupt report (and runs the stored
    // sequence) when the trigger is on and the change matches the edge; inputs are pulled up
    // (high) at start. setGpioInput sets the level that an input pin reads (pin 0..3).
    void setInterruptInput(bool high);
    void toggleInterruptInput();
    void setGpioInput(int pin, bool high);
    // The measured temperature of every LM75 on the bus, rounded to 0.5 C and limited to
    // -55..125 C. The temperature register follows it unless the sensor is shut down (config
    // bit 0).
    void setTemperature(double celsius);

    BusState bus() const;
    // The program memory, programMemorySize bytes from address 0.
    std::vector<std::uint8_t> programMemory() const;
    // Switches to the bootloader as if the entry frame had been received (no reply is sent).
    void enterBootloader();

    std::chrono::microseconds flashTimePerLine() const;
    void setFlashTimePerLine(std::chrono::microseconds perLine);

    // The lines received, as sent by the host between "$" and CR (without them), oldest first.
    std::vector<std::string> framesReceived() const;
    // Waits until at least count frames have been received in total; false on time-out.
    bool waitForFrames(std::size_t count, std::chrono::milliseconds timeout) const;

    LinkStats stats() const;

    // Unplug: the master side is closed, as a USB adapter pulled out (the console's descriptor
    // hangs up), the simulator's own slave descriptor is closed and the link removed. replug()
    // opens a fresh pseudo-terminal (a new devicePath), re-makes the link, and the adapter
    // starts again from power-up (the program memory, EEPROM and stored sequence are kept).
    void unplug();
    void replug();
    bool plugged() const;

    // Stops the thread, closes the pseudo-terminal and removes the link. Idempotent.
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace sim
