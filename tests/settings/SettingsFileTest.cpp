#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "settings/SettingsExample.h"
#include "settings/SettingsFile.h"

namespace {

using modbus::SettingsFile;

// Each key's value and source for one station, as a tool would list them.
std::string Listed(const SettingsFile& settings, int32_t port, int32_t station) {
    const modbus::SettingOrigins origins = settings.Origins(port, station);
    std::string listed;
    for (int32_t key = 0; key < modbus::kSettingCount; ++key) {
        listed += modbus::SettingValueText(static_cast<modbus::SettingKey>(key), origins[key].value) + " " +
                  modbus::SourceText(origins[key].source, port, station) + "\n";
    }
    return listed;
}

TEST(SettingsFile, EveryKeyTakesTheEdgesOfItsRangeAndNothingBeyond) {
    struct Range {
        modbus::SettingKey key;
        int32_t min;
        int32_t max;
    };
    const Range ranges[] = {
        {modbus::kRetries, 0, 5},           {modbus::kTimeoutRetries, 0, 5},    {modbus::kDemoteAfter, 0, 100},
        {modbus::kDemoteForMs, 100, 3600000}, {modbus::kRequestGapMs, 0, 10000}, {modbus::kMaxBlockRegisters, 1, 123},
        {modbus::kMaxBlockBits, 1, 1999},   {modbus::kMaxGapRegisters, 0, 125}, {modbus::kMaxGapBits, 0, 2000},
        {modbus::kSilenceUs, 0, 100000},   {modbus::kConnectTimeoutMs, 100, 60000},
        {modbus::kRelearnMs, 0, 86400000},  {modbus::kBusyRetryMs, 0, 10000},  {modbus::kLateReplyMaxMs, 0, 60000},
        {modbus::kIdleCloseMs, 0, 3600000}, {modbus::kConnectDelayMs, 0, 10000},
    };
    for (const Range& r : ranges) {
        const std::string accepted = std::to_string(r.min) + ".." + std::to_string(r.max);
        for (int32_t value : {r.min - 1, r.min, r.max, r.max + 1}) {
            const std::string line = modbus::kSettingRules[r.key].name + (" = " + std::to_string(value));
            SettingsFile settings;
            const std::string reason = settings.Load("[defaults]\n" + line, "Korvel.ini");
            if (value < 0) {
                EXPECT_EQ(reason, "Korvel.ini line 2: " + line + " is not a decimal number; accepted: " + accepted);
            } else if (value < r.min || value > r.max) {
                EXPECT_EQ(reason, "Korvel.ini line 2: " + line + " is outside " + accepted);
            } else {
                EXPECT_EQ(reason, "");
                EXPECT_EQ(settings.Origins(1, 1)[r.key].value.number, value);
            }
        }
    }
}

TEST(SettingsFile, EachSectionOverridesWhatItNamesAndTheCommandLineAll) {
    EXPECT_EQ(Listed(SettingsFile(), 3, 17), "CDAB default\nauto default\n1 default\n0 default\n100 default\n"
                                             "3 default\n10000 default\n0 default\n0 default\n1000 default\n"
                                             "10000 default\n32 default\n128 default\n8 default\n16 default\n"
                                             "60000 default\n"
                                             "serial default\nnone default\n3000 default\n0 default\n"
                                             "auto default\n0 default\n0 default\nstation default\nauto default\n");
    SettingsFile settings;
    ASSERT_EQ(settings.Load("\xEF\xBB\xBF; plant\r\n"
                            "[defaults]\r\n"
                            "retries = 2\r\n"
                            "Word_Order=abcd   # most meters\r\n"
                            "\r\n"
                            "  [ com3 ]  \r\n"
                            "\tRETRIES\t=\t3 ; line three\r\n"
                            "request_gap_ms = 20\n"
                            "reopen_ms = 500\n"
                            "[COM03:017]\n"
                            "retries = 0000000000000000000004\n"
                            "word_order = DCBA\n"
                            "write_function = Multiple\n"
                            "max_block_registers = 1\n"
                            "max_gap_bits = 0\n"
                            "relearn_ms = 0\n"
                            "busy_retry_ms = 250\n"
                            "unit_id = 255\n"
                            "[Defaults]\n"
                            "demote_after = 0\n"
                            "[COM3]\n"
                            "transport = MODBUS-TCP\n"
                            "endpoint = gw-1.plant:502\n"
                            "transaction_check = STRICT\n"
                            "idle_close_ms = 1500\n"
                            "echo = ON\n"
                            "[COM3:5]\n"
                            "unit_id = station",
                            "Korvel.ini"),
              "");
    EXPECT_EQ(Listed(settings, 3, 17), "DCBA [COM3:17]\nmultiple [COM3:17]\n4 [COM3:17]\n0 default\n250 [COM3:17]\n"
                                       "0 [defaults]\n10000 default\n20 [COM3]\n0 default\n500 [COM3]\n10000 default\n"
                                       "1 [COM3:17]\n128 default\n8 default\n0 [COM3:17]\n0 [COM3:17]\n"
                                       "modbus-tcp [COM3]\ngw-1.plant:502 [COM3]\n3000 default\n0 default\n"
                                       "strict [COM3]\n1500 [COM3]\n0 default\n255 [COM3:17]\non [COM3]\n");
    EXPECT_EQ(Listed(settings, 3, 5), "ABCD [defaults]\nauto default\n3 [COM3]\n0 default\n100 default\n0 [defaults]\n"
                                      "10000 default\n20 [COM3]\n0 default\n500 [COM3]\n10000 default\n"
                                      "32 default\n128 default\n8 default\n16 default\n60000 default\n"
                                      "modbus-tcp [COM3]\ngw-1.plant:502 [COM3]\n3000 default\n0 default\n"
                                      "strict [COM3]\n1500 [COM3]\n0 default\nstation [COM3:5]\non [COM3]\n");
    EXPECT_EQ(Listed(settings, 4, 17), Listed(settings, 0, 0));
    const modbus::StationSettings station = settings.For(3, 17);
    EXPECT_EQ(station.wordOrder, modbus::WordOrder::kDCBA);
    EXPECT_EQ(station.writeFunctions, modbus::WriteFunctions::kMultiple);
    EXPECT_EQ(station.retries, 4);
    EXPECT_EQ(station.requestGapMs, 20);
    EXPECT_EQ(station.reopenMs, 500);
    EXPECT_EQ(station.registerLimits.span, 1u);
    EXPECT_EQ(station.bitLimits.gap, 0u);
    EXPECT_EQ(station.relearnMs, 0);
    EXPECT_EQ(station.busyRetryMs, 250);
    EXPECT_EQ(station.transport, modbus::Transport::kModbusTcp);
    EXPECT_EQ(station.endpoint, "gw-1.plant:502");
    EXPECT_EQ(station.transactionCheck, modbus::TransactionCheck::kStrict);
    EXPECT_EQ(station.idleCloseMs, 1500);
    EXPECT_EQ(station.unitId, 255);
    EXPECT_EQ(settings.For(3, 5).unitId, modbus::kUnitIdOfStation);

    EXPECT_EQ(settings.Override(" retries=5 "), "");
    EXPECT_EQ(settings.Override("retries=1"), "--set: retries is set twice");
    EXPECT_EQ(settings.Override("word_order=CADB"), "--set: word_order = CADB is not one of CDAB, ABCD, BADC, DCBA");
    EXPECT_EQ(settings.Override("[COM3]"), "--set: expected key = value or a [section], not [COM3]");
    EXPECT_EQ(settings.For(3, 17).retries, 5);
    EXPECT_EQ(Listed(settings, 4, 1).substr(0, 46), "ABCD [defaults]\nauto default\n5 --set\n0 default");

    // A list of them, as the environment carries it, stops at the first refused.
    modbus::SettingsFile listed;
    EXPECT_EQ(modbus::OverrideAll(listed, " word_order=ABCD ;; timeout_retries = 2;"), "");
    EXPECT_EQ(listed.For(1, 1).wordOrder, modbus::WordOrder::kABCD);
    EXPECT_EQ(listed.For(1, 1).timeoutRetries, 2);
    EXPECT_EQ(modbus::OverrideAll(listed, "retries=9;demote_after=1"), "--set: retries = 9 is outside 0..5");
    EXPECT_EQ(listed.For(1, 1).demoteAfter, 3);

    // The command line may make every line a network one.
    modbus::SettingsFile network;
    EXPECT_EQ(modbus::LoadSettings("[COM3]\nendpoint = 10.0.0.5:502", "Korvel.ini",
                                   "transport=rtu-over-tcp;endpoint=127.0.0.1:5020", network),
              "");
    EXPECT_EQ(Listed(network, 7, 1).substr(Listed(network, 7, 1).find("rtu-over-tcp")),
              "rtu-over-tcp --set\n127.0.0.1:5020 --set\n3000 default\n0 default\nauto default\n0 default\n"
              "0 default\nstation default\nauto default\n");

    // A refused text leaves what was loaded before.
    EXPECT_NE(settings.Load("[defaults]\nretries = 3\nretries = 9", "Korvel.ini"), "");
    EXPECT_EQ(settings.For(3, 5).wordOrder, modbus::WordOrder::kABCD);
}

// Whatever refuses a load, the file or an override, the settings taken
// before stay whole; no file and no overrides give the defaults.
TEST(SettingsFile, ALoadThatIsRefusedLeavesTheSettingsTakenBefore) {
    const struct {
        std::optional<std::string_view> text;
        std::string_view overrides;
        std::string reason;
    } cases[] = {
        {"[defaults]\nretries = 9", "", "Korvel.ini line 2: retries = 9 is outside 0..5"},
        {"[defaults]\nretries = 2", "word_order=CADB", "--set: word_order = CADB is not one of CDAB, ABCD, BADC, DCBA"},
        {std::nullopt, "retries=1;retries=2", "--set: retries is set twice"},
        {std::nullopt, "", ""},
        {"[COM3]\ntransport = modbus-tcp", "",
         "Korvel.ini: COM3 has transport = modbus-tcp from [COM3] but no endpoint; accepted: HOST:PORT, an IPv4 "
         "address or host name and a port 1..65535"},
        {"[COM2]\ntransport = rtu-over-tcp\n[defaults]\nendpoint = 10.0.0.5:502", "",
         "Korvel.ini: COM1 has endpoint = 10.0.0.5:502 from [defaults] but transport = serial; an endpoint needs "
         "rtu-over-tcp or modbus-tcp"},
    };
    for (const auto& c : cases) {
        SettingsFile settings;
        ASSERT_EQ(modbus::LoadSettings("[COM3:17]\nword_order = ABCD", "Korvel.ini", "demote_after=5", settings), "");
        const std::string taken = Listed(settings, 3, 17);
        EXPECT_EQ(modbus::LoadSettings(c.text, "Korvel.ini", c.overrides, settings), c.reason);
        EXPECT_EQ(Listed(settings, 3, 17), c.reason.empty() ? Listed(SettingsFile(), 3, 17) : taken) << c.reason;
    }
}

TEST(SettingsFile, ABadTextIsRefusedNamingItsLineAndWhatIsAccepted) {
    const std::string sections = "is not a section; accepted: [defaults], [COMn] and [COMn:s] for COM1..COM64 and "
                                 "station s 1..254";
    const std::string endpoint = "HOST:PORT, an IPv4 address or host name and a port 1..65535";
    const std::pair<std::string, std::string> cases[] = {
        {"retries = 1", "line 1: retries = 1 comes before the first section"},
        {"[defaults]\nretries = 9", "line 2: retries = 9 is outside 0..5"},
        {"[defaults]\nretries = 99999999999999999999", "line 2: retries = 99999999999999999999 is outside 0..5"},
        {"[defaults]\nretries = +1", "line 2: retries = +1 is not a decimal number; accepted: 0..5"},
        {"[defaults]\nretries = 1x", "line 2: retries = 1x is not a decimal number; accepted: 0..5"},
        {"[defaults]\nretries = 0x1", "line 2: retries = 0x1 is not a decimal number; accepted: 0..5"},
        {"[defaults]\nretries = 1 2", "line 2: retries = 1 2 is not a decimal number; accepted: 0..5"},
        {"[defaults]\nretries = 1\v", "line 2: retries = 1? is not a decimal number; accepted: 0..5"},
        {"[defaults]\r\nretries = ; none", "line 2: retries has no value; accepted: 0..5"},
        {"[defaults]\nword_order = BACD", "line 2: word_order = BACD is not one of CDAB, ABCD, BADC, DCBA"},
        {"[defaults]\nwrite_function = 16", "line 2: write_function = 16 is not one of auto, single, multiple"},
        {"[defaults]\nretry = 1",
         "line 2: unknown key retry; accepted: word_order, write_function, retries, timeout_retries, busy_retry_ms, "
         "demote_after, demote_for_ms, request_gap_ms, silence_us, reopen_ms, reopen_max_ms, max_block_registers, "
         "max_block_bits, max_gap_registers, max_gap_bits, relearn_ms, transport, endpoint, connect_timeout_ms, "
         "late_reply_max_ms, transaction_check, idle_close_ms, connect_delay_ms, unit_id, echo"},
        {"[defaults]\n = 1", "line 2: a key is missing before ="},
        {"[defaults]\nretries", "line 2: expected key = value or a [section], not retries"},
        {"[defaults]\nretries = 1\nRETRIES = 1", "line 3: retries is set twice in [defaults] (first in line 2)"},
        {"[COM3]\nretries=1\n[com3]\nretries=2", "line 4: retries is set twice in [COM3] (first in line 2)"},
        {"[COM3:17]\nrequest_gap_ms = 5",
         "line 2: request_gap_ms is the same for a whole line: set it in [defaults] or [COM3], not in [COM3:17]"},
        {"[COM3:17]\nreopen_ms = 500",
         "line 2: reopen_ms is the same for a whole line: set it in [defaults] or [COM3], not in [COM3:17]"},
        {"[defaults]\nreopen_max_ms = 999", "line 2: reopen_max_ms = 999 is outside 1000..600000"},
        {"[COM3:17]\nendpoint = 127.0.0.1:502",
         "line 2: endpoint is the same for a whole line: set it in [defaults] or [COM3], not in [COM3:17]"},
        {"[COM3]\necho = yes", "line 2: echo = yes is not one of auto, on, off"},
        {"[COM3]\ntransport = tcp", "line 2: transport = tcp is not one of serial, rtu-over-tcp, modbus-tcp"},
        {"[COM3]\ntransaction_check = off", "line 2: transaction_check = off is not one of auto, strict"},
        {"[COM3:17]\nidle_close_ms = 1000",
         "line 2: idle_close_ms is the same for a whole line: set it in [defaults] or [COM3], not in [COM3:17]"},
        {"[COM3:17]\nunit_id = 256", "line 2: unit_id = 256 is outside 0..255 or station"},
        {"[COM3:17]\nunit_id = -1", "line 2: unit_id = -1 is not a decimal number; accepted: 0..255 or station"},
        {"[COM3]\nendpoint = 10.0.0.5", "line 2: endpoint = 10.0.0.5 has no :PORT; accepted: " + endpoint},
        {"[COM3]\nendpoint = :502", "line 2: endpoint = :502 has no host name or IPv4 address before the :; "
                                    "accepted: " + endpoint},
        {"[COM3]\nendpoint = gw_1:502", "line 2: endpoint = gw_1:502 has no host name or IPv4 address before the "
                                        ":; accepted: " + endpoint},
        {"[COM3]\nendpoint = gw:65536", "line 2: endpoint = gw:65536 has no port 1..65535 after the :; accepted: " +
                                            endpoint},
        {"[COM3]\nendpoint = gw:0", "line 2: endpoint = gw:0 has no port 1..65535 after the :; accepted: " + endpoint},
        {"[COM65]", "line 1: COM65 is outside COM1..COM64"},
        {"[COM0]", "line 1: COM0 is outside COM1..COM64"},
        {"[COM3:255]", "line 1: station 255 is outside 1..254"},
        {"[COM3:0]", "line 1: station 0 is outside 1..254"},
        {"[COM3:]", "line 1: [COM3:] " + sections},
        {"[COM 3]", "line 1: [COM 3] " + sections},
        {"[COM3:17:1]", "line 1: [COM3:17:1] " + sections},
        {"[LPT1]", "line 1: [LPT1] " + sections},
        {"[]", "line 1: [] " + sections},
        {"[COM3", "line 1: a section line ends with ], not [COM3"},
    };
    for (const auto& [text, reason] : cases) {
        SettingsFile settings;
        EXPECT_EQ(settings.Load(text, "Korvel.ini"), "Korvel.ini " + reason);
        EXPECT_EQ(Listed(settings, 3, 17), Listed(SettingsFile(), 3, 17)) << text;
    }
}

// As it is the example changes nothing; with every commented key and
// section taken in, [defaults] names every key at its default, and the
// example station gets its own values.
TEST(SettingsFile, TheExampleFileHoldsEveryKeyAtItsDefault) {
    const std::string example = modbus::SettingsExampleText();
    EXPECT_EQ(std::count(example.begin(), example.end(), '\n'), std::count(example.begin(), example.end(), '\r'))
        << "CRLF line ends";
    SettingsFile settings;
    ASSERT_EQ(settings.Load(example, "Korvel.ini"), "");
    EXPECT_EQ(Listed(settings, 3, 17), Listed(SettingsFile(), 3, 17));

    std::string uncommented;
    for (size_t start = 0; start < example.size();) {
        const size_t end = example.find('\n', start) + 1;
        const std::string line = example.substr(start, end - start);
        const bool commentedOut = line.size() > 1 && line[0] == ';' && line[1] != ' ' && line[1] != '\r';
        uncommented += commentedOut ? line.substr(1) : line;
        start = end;
    }
    ASSERT_EQ(settings.Load(uncommented, "Korvel.ini"), "");
    const modbus::SettingOrigins origins = settings.Origins(3, 5);
    // A text key without a default, the endpoint, is shown by an example only.
    for (int32_t key = 0; key < modbus::kSettingCount; ++key) {
        const modbus::SettingRule& rule = modbus::kSettingRules[key];
        const bool shownOnly = rule.checkText != nullptr;
        EXPECT_EQ(origins[key].value.number, rule.defaultValue) << rule.name;
        const modbus::SettingSource expected =
            shownOnly ? modbus::SettingSource::kDefault : modbus::SettingSource::kDefaultsSection;
        EXPECT_EQ(origins[key].source, expected) << rule.name;
    }
    EXPECT_EQ(settings.For(3, 17).wordOrder, modbus::WordOrder::kABCD);
    EXPECT_EQ(settings.For(3, 17).writeFunctions, modbus::WriteFunctions::kMultiple);
}

}  // namespace
