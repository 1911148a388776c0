// The settings file through Korvel.dll: what a station's sections set
// reaches the wire and the values, the stronger section wins, and a file
// that cannot be taken fails Open with its reason in the frame trace.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "driver/TagValues.h"
#include "support/HostDriver.h"
#include "support/LineFixture.h"
#include "support/Stopwatch.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kBits21_5 = 0x41AC0000;  // 21.5 as a float

std::string TempPath(const char* name) {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    return std::string(folder) + name;
}

// Puts text into a file and names it in the environment variable while it
// lives.
class NamedFile {
public:
    NamedFile(const char* variable, const char* name, const std::string& text)
        : m_variable(variable), m_path(TempPath(name)) {
        std::ofstream(m_path, std::ios::binary) << text;
        SetEnvironmentVariableA(m_variable, m_path.c_str());
    }
    ~NamedFile() {
        SetEnvironmentVariableA(m_variable, nullptr);
        DeleteFileA(m_path.c_str());
    }
    std::string Text() const {
        std::ifstream file(m_path, std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }
    const std::string& Path() const { return m_path; }

private:
    const char* m_variable;
    std::string m_path;
};

// Korvel.ini with text in folders nested in the temporary folder, which
// are removed again with it and a Korvel.dll put beside it.
struct SettingsFolder {
    SettingsFolder(const fs::path& nested, const std::string& text)
        : top(fs::temp_directory_path() / *nested.begin()), folder(fs::temp_directory_path() / nested) {
        fs::create_directories(folder);
        std::ofstream(folder / "Korvel.ini", std::ios::binary) << text;
    }
    // In the extended form, which takes paths beyond MAX_PATH.
    ~SettingsFolder() {
        const auto extended = [](const fs::path& path) { return L"\\\\?\\" + path.wstring(); };
        for (const char* name : {"Korvel.ini", "Korvel.dll"}) DeleteFileW(extended(folder / name).c_str());
        for (fs::path at = folder; at != top.parent_path(); at = at.parent_path()) {
            RemoveDirectoryW(extended(at).c_str());
        }
    }
    fs::path top;
    fs::path folder;
};

// Korvel.dll copied into a folder and loaded from there, as by a host
// installed there.
struct CopiedModule {
    explicit CopiedModule(const fs::path& folder) {
        fs::copy_file(KorvelPath(), folder / "Korvel.dll");
        module = LoadLibraryW((folder / "Korvel.dll").c_str());
    }
    ~CopiedModule() { FreeLibrary(module); }
    HMODULE module;
};

struct WordOrderCase {
    const char* order;
    uint16_t first;  // the registers of 21.5, as the device keeps them
    uint16_t second;
};

const WordOrderCase kWordOrders[] = {
    {"CDAB", 0x0000, 0x41AC}, {"ABCD", 0x41AC, 0x0000}, {"BADC", 0xAC41, 0x0000}, {"DCBA", 0x0000, 0xAC41}};

TEST(SettingsOverALine, EachWordOrderReadsAndWritesTheStationsFloats) {
    for (const WordOrderCase& c : kWordOrders) {
        SCOPED_TRACE(c.order);
        LineFixture line;
        HostDriver rig;
        ASSERT_EQ(rig.Open(line.PortIndex(), kBaudIndex9600, kShortResponseTimeoutMs), kSucceeded);
        NamedFile settings("KORVEL_CONFIG", "korvel-word-order.ini",
                           "[" + line.PortName() + ":1]\nword_order = " + c.order + "\n");
        ASSERT_EQ(rig.Reopen(), kSucceeded);
        line.SetHoldingRegister(1, 0, c.first);
        line.SetHoldingRegister(1, 1, c.second);
        TagValue value{};
        const TagAddress read = rig.Tag("4x1", kTypeFloat);
        ASSERT_EQ(rig.Read(1, read, value), kSucceeded);  // the first read registers the tag
        ASSERT_EQ(rig.Read(1, read, value), kSucceeded);
        EXPECT_EQ(value.dwordValue, kBits21_5);

        ASSERT_EQ(rig.Write(1, rig.Tag("4x11", kTypeFloat), DWords(kBits21_5)), kSucceeded);
        EXPECT_EQ(line.HoldingRegister(1, 10), c.first);
        EXPECT_EQ(line.HoldingRegister(1, 11), c.second);
    }
}

// [defaults] < [COMn] < [COMn:s]: station 1 takes its line's order, station 2
// its own.
TEST(SettingsOverALine, AStationsSectionOverridesItsLinesWhichOverridesTheDefaults) {
    LineFixture line(9600, {1, 2});
    HostDriver rig;
    ASSERT_EQ(rig.Open(line.PortIndex(), kBaudIndex9600, kShortResponseTimeoutMs), kSucceeded);
    NamedFile settings("KORVEL_CONFIG", "korvel-precedence.ini",
                       "[defaults]\nword_order = ABCD\n[" + line.PortName() + "]\nword_order = DCBA\n[" +
                           line.PortName() + ":2]\nword_order = BADC\n");
    ASSERT_EQ(rig.Reopen(), kSucceeded);
    const struct {
        int32_t station;
        const WordOrderCase& order;
    } stations[] = {{1, kWordOrders[3]}, {2, kWordOrders[2]}};
    const TagAddress tag = rig.Tag("4x1", kTypeFloat);
    for (const auto& s : stations) {
        line.SetHoldingRegister(s.station, 0, s.order.first);
        line.SetHoldingRegister(s.station, 1, s.order.second);
        TagValue value{};
        rig.Read(s.station, tag, value);
        ASSERT_EQ(rig.Read(s.station, tag, value), kSucceeded);
        EXPECT_EQ(value.dwordValue, kBits21_5) << "station " << s.station;
    }
}

// Blocks of one register read every tag alone, with the line's gap and
// silence before each request, which a device that needs more than either
// alone hears; a station demoted after one silence is not asked again
// within its period.
TEST(SettingsOverALine, BlockLimitsAndDemotionFollowTheFile) {
    constexpr double kGapMs = 100;
    LineFixture line(9600, {1, 2});
    HostDriver rig;
    ASSERT_EQ(rig.Open(line.PortIndex(), kBaudIndex9600, kShortResponseTimeoutMs), kSucceeded);
    line.NeedSilence(150);
    NamedFile settings("KORVEL_CONFIG", "korvel-blocks.ini",
                       "[" + line.PortName() + "]\nrequest_gap_ms = 100\nsilence_us = 100000\n"
                       "[" + line.PortName() + ":1]\nmax_block_registers = 1\nmax_gap_registers = 0\n"
                       "[" + line.PortName() + ":2]\ndemote_after = 1\n");
    ASSERT_EQ(rig.Reopen(), kSucceeded);
    const TagAddress tags[] = {rig.Tag("4x1", kTypeUInt16), rig.Tag("4x2", kTypeUInt16), rig.Tag("4x3", kTypeUInt16)};
    TagValue value{};
    for (const TagAddress& tag : tags) rig.Read(1, tag, value);
    const Stopwatch cycleTime;
    const Frames cycle = line.RequestsDuring([&] {
        for (const TagAddress& tag : tags) EXPECT_EQ(rig.Read(1, tag, value), kSucceeded);
    });
    EXPECT_EQ(cycle.size(), 3u) << "one request per tag";
    EXPECT_GE(cycleTime.ElapsedMs(), 2 * kGapMs) << "at least the gaps between three requests";

    line.SwitchStation(2, false);
    EXPECT_EQ(line.RequestsDuring([&] { EXPECT_EQ(rig.Read(2, tags[0], value).result, 0); }).size(), 1u);
    EXPECT_EQ(line.RequestsDuring([&] { EXPECT_EQ(rig.Read(2, tags[0], value).result, 0); }).size(), 0u)
        << "demoted after one silence";
}

// A folder whose name the system code page cannot spell, or whose path is
// longer than MAX_PATH: Korvel.ini there is found beside a module loaded
// from there, or through KORVEL_CONFIG naming it.
TEST(SettingsOverALine, AFileInAFolderOutsideTheCodePageOrBeyondMaxPathIsFound) {
    const std::wstring greekAndCjk = L"Korvel-\u03A1\u03C5\u03B8\u03BC\u03AF\u03C3\u03B5\u03B9\u03C2-\u8A2D\u5B9A";
    const fs::path deep = fs::path(std::wstring(150, L'k')) / std::wstring(150, L'k');
    const struct {
        fs::path folder;
        bool besideModule;
    } cases[] = {{greekAndCjk, true}, {greekAndCjk, false}, {deep, true}, {deep / greekAndCjk, false}};
    LineFixture line;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.folder.wstring().size()) + (c.besideModule ? " characters, beside" : " characters, named"));
        SettingsFolder settings(c.folder, "[" + line.PortName() + ":1]\nword_order = ABCD\n");
        std::optional<CopiedModule> copy;
        if (c.besideModule) copy.emplace(settings.folder);
        if (!c.besideModule) SetEnvironmentVariableW(L"KORVEL_CONFIG", (settings.folder / "Korvel.ini").c_str());
        HostDriver rig(CreateDriverObject<IDeviceDriver>(kIidDeviceDriver, copy ? copy->module : nullptr));
        EXPECT_EQ(rig.Open(line.PortIndex(), kBaudIndex9600, kShortResponseTimeoutMs), kSucceeded);
        SetEnvironmentVariableW(L"KORVEL_CONFIG", nullptr);
        EXPECT_EQ(rig.Write(1, rig.Tag("4x11", kTypeFloat), DWords(kBits21_5)), kSucceeded);
        EXPECT_EQ(line.HoldingRegister(1, 10), 0x41AC) << "word order ABCD from the file";
        EXPECT_EQ(line.HoldingRegister(1, 11), 0x0000);
    }
}

// Nothing is opened or sent, the host gets code 1, the trace says why, and
// a driver already running goes on with the settings it took before. What
// the variable names may be a file that is refused, or no file at all: a
// folder, a device (opening it must not wait for it) or a file too large.
TEST(SettingsOverALine, AFileThatCannotBeTakenFailsOpenKeepsTheRunningSettingsAndSaysWhy) {
    LineFixture line;
    LineFixture idle;  // its COM port is held by nobody
    const struct {
        std::string text;
        std::string named;  // when not empty, what the variable names instead of the file
        std::string reason;
    } cases[] = {
        {"[defaults]\nretries = 9\n", "", " line 2: retries = 9 is outside 0..5"},
        {"[defaults]\nword_order = CADB\n", "", " line 2: word_order = CADB is not one of CDAB, ABCD, BADC, DCBA"},
        {"[LPT1]\n", "", " line 1: [LPT1] is not a section"},
        {"[defaults]\nbaud = 9600\n", "", " line 2: "},
        {"", TempPath(""), ": is a folder, not a file"},
        {"", idle.DevicePath(), ": is a device, not a file"},
        {"", "NUL", ": is a device, not a file"},
        {"[defaults]\n;" + std::string(1024 * 1024, ' '), "", ": is larger than 1048576 bytes"},
        {"", TempPath("korvel-missing.ini"), ": cannot be read"},
    };
    HostDriver rig;
    {
        NamedFile settings("KORVEL_CONFIG", "korvel-abcd.ini", "[" + line.PortName() + ":1]\nword_order = ABCD\n");
        ASSERT_EQ(rig.Open(line.PortIndex(), kBaudIndex9600, kShortResponseTimeoutMs), kSucceeded);
    }
    const TagAddress tag = rig.Tag("4x11", kTypeFloat);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40) + c.named);
        NamedFile trace("KORVEL_TRACE", "korvel-settings-trace.txt", "");
        NamedFile settings("KORVEL_CONFIG", "korvel-bad.ini", c.text);
        if (!c.named.empty()) SetEnvironmentVariableA("KORVEL_CONFIG", c.named.c_str());
        const Frames sent = line.RequestsDuring([&] { EXPECT_EQ(rig.Reopen(), kOpenFailed); });
        EXPECT_TRUE(sent.empty());
        const std::string path = c.named.empty() ? settings.Path() : c.named;
        EXPECT_NE(trace.Text().find("Settings: " + path + c.reason), std::string::npos) << trace.Text();

        ASSERT_EQ(rig.Write(1, tag, DWords(kBits21_5)), kSucceeded);
        EXPECT_EQ(line.HoldingRegister(1, 10), 0x41AC) << "the word order taken before stays";
        EXPECT_EQ(line.HoldingRegister(1, 11), 0x0000);
    }
    EXPECT_EQ(rig.Reopen(), kSucceeded) << "no file beside the module: the defaults";
}

}  // namespace
