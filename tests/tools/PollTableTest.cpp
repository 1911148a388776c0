#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <sstream>

#include "korvel-poll/console/ConsoleText.h"
#include "korvel-poll/host/DriverTexts.h"
#include "korvel-poll/console/GbkText.h"
#include "korvel-poll/poll/PollTable.h"
#include "korvel-poll/poll/TagLog.h"
#include "tags/TagRecords.h"

namespace {

TEST(PollTable, ColumnsLineUpForEveryTagOfTheRun) {
    std::vector<PollTag> tags = {
        {"temperature", "3x1", kTypeFloat, ""},
        {"4x10", "4x10", kTypeUInt32, "17"},
    };
    PollTable table(tags, "1");
    EXPECT_EQ(table.Header(), "name         station  address  type    value           status");
    EXPECT_EQ(table.Row(tags[0], {"1", "21.5", "OK"}),
              "temperature  1        3x1      float   21.5            OK");
    EXPECT_EQ(table.Row(tags[1], {"17", "-", "x"}),
              "4x10         17       4x10     uint32  -               x");
}

TEST(PollTable, TheSummarySaysReadFailedAndTime) {
    EXPECT_EQ(CycleSummary(3, 6, 1, 412), "cycle 3: 5 of 6 tags read, 1 failed, 412 ms");
    EXPECT_EQ(CycleSummary(1, 1, 0, 9), "cycle 1: 1 of 1 tag read, 0 failed, 9 ms");
}

TEST(TagLog, RecordsKeepTheirFieldsApartInCsvAndJson) {
    const PollTag counted{"block", "4x10,4", kTypeUInt16, ""};
    const PollTag temperature{"temperature", "3x1", kTypeFloat, ""};
    const PollTag odd{"odd", "4x1", kTypeUInt32, ""};
    SYSTEMTIME utc{2024, 5, 5, 17, 8, 30, 1, 250};
    const std::string time = IsoTime(utc);
    EXPECT_EQ(time, "2024-05-17T08:30:01.250Z");
    const std::string jsonTime = R"({"time":"2024-05-17T08:30:01.250Z",)";
    const struct {
        TagRecord record;
        const char* csv;   // after the time
        const char* json;  // after the time
    } cases[] = {
        {{time, 17, &counted, true, "1234", "OK"}, ",17,\"4x10,4\",uint16,1234,OK",
         R"("station":17,"address":"4x10,4","type":"uint16","value":1234,"status":"OK"})"},
        {{time, 1, &temperature, false, "", "读设备错误!"}, ",1,3x1,float,,读设备错误!",
         R"("station":1,"address":"3x1","type":"float","value":null,"status":"读设备错误!"})"},
        {{time, 1, &temperature, true, "-inf", "OK"}, ",1,3x1,float,-inf,OK",
         R"("station":1,"address":"3x1","type":"float","value":"-inf","status":"OK"})"},
        {{time, 2, &odd, false, "", "say \"no\",\tthen\\"}, ",2,4x1,uint32,,\"say \"\"no\"\",\tthen\\\"",
         R"("station":2,"address":"4x1","type":"uint32","value":null,"status":"say \"no\",\u0009then\\"})"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CsvLine(c.record), time + c.csv);
        EXPECT_EQ(JsonLine(c.record), jsonTime + c.json);
    }
    EXPECT_EQ(CsvHeader(), "time,station,address,type,value,status");
}

// A file whose first flush stalls until it is let go, as a slow disk does.
class StallingFile : public std::stringbuf {
public:
    explicit StallingFile(bool stalls) : m_stalled(stalls) {}
    void AwaitStall() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_waiting || !m_stalled; });
    }
    void LetGo() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stalled = false;
        m_changed.notify_all();
    }

protected:
    int sync() override {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_waiting = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return !m_stalled; });
        return std::stringbuf::sync();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stalled;
    bool m_waiting = false;
};

// The log's writer stalls on its first record, the header, for as long as
// the poll adds records; the bound holds 8 records, the header among them.
TEST(TagLog, AStalledOutputDropsAndCountsOnlyTheRecordsBeyondItsBound) {
    const PollTag level{"level", "4x1", kTypeUInt16, ""};
    const struct {
        bool stalls;
        int added;
        uint64_t dropped;
        const char* report;
    } cases[] = {
        {false, 7, 0, ""},
        {true, 7, 0, ""},
        {true, 12, 5, "log: 5 of 12 records dropped, the output could not be written as fast as the tags were read"},
    };
    for (const auto& c : cases) {
        StallingFile file(c.stalls);
        std::ostream out(&file);
        TagLog log(OutputFormat::kCsv, out, true, 8);
        file.AwaitStall();
        for (int i = 0; i < c.added; ++i) log.Add({"t", 1, &level, true, std::to_string(i), "OK"});
        file.LetGo();
        log.Finish();
        EXPECT_EQ(log.Dropped(), c.dropped) << c.added;
        EXPECT_EQ(log.DropReport(), c.report) << c.added;
        std::string expected = CsvHeader() + "\n";
        for (int i = 0; i < c.added - static_cast<int>(c.dropped); ++i) {
            expected += "t,1,4x1,uint16," + std::to_string(i) + ",OK\n";
        }
        EXPECT_EQ(file.str(), expected) << c.added;
    }
}

TEST(DriverTexts, GbkTextsBecomeUtf8WithTheirMeaning) {
    struct Case {
        const char* gbk;
        const char* shown;
    };
    const Case cases[] = {
        {"OK", "OK"},
        {"\xb6\xc1\xc9\xe8\xb1\xb8\xb4\xed\xce\xf3\x21", "读设备错误! (error reading the device)"},
        {"\xd0\xb4\xc9\xe8\xb1\xb8\xb4\xed\xce\xf3\x21", "写设备错误! (error writing the device)"},
        {"\xb3\xf5\xca\xbc\xbb\xaf\xc9\xe8\xb1\xb8\xb4\xed\xce\xf3\x21", "初始化设备错误! (device initialisation error)"},
        {"\xb4\xed\xce\xf3\xb5\xc4\xc9\xe8\xb1\xb8\xb5\xd8\xd6\xb7\x21", "错误的设备地址! (wrong device address)"},
        {"\xb2\xbb\xd6\xa7\xb3\xd6\xb8\xc3\xbc\xc4\xb4\xe6\xc6\xf7\x21", "不支持该寄存器! (register not supported)"},
        {"\xb4\xed\xce\xf3\xb5\xc4\xca\xfd\xbe\xdd\xc0\xe0\xd0\xcd\x21", "错误的数据类型! (wrong data type)"},
        {"\xd3\xc3\xd7\xd4\xb6\xa8\xd2\xe5\xb4\xed\xce\xf3", "用自定义错误"},
        {"\xd0\xb4\xc9\xe8\xb1\xb8\xb4\xed\xce\xf3\x21\x20\xd2\xec\xb3\xa3\x30\x35\x3a\x20"
         "\xc9\xe8\xb1\xb8\xd2\xd1\xbd\xd3\xca\xdc\x2c\x20\xd5\xfd\xd4\xda\xd6\xb4\xd0\xd0",
         "写设备错误! 异常05: 设备已接受, 正在执行 (error writing the device: it took the write and is carrying it out)"},
    };
    for (const Case& c : cases) EXPECT_EQ(DescribeDriverText(c.gbk), c.shown);
    EXPECT_EQ(GbkToUtf8(nullptr), "");
    EXPECT_EQ(GbkToUtf8(""), "");
}

// A console write ends on a whole character; the rest of one cut at the
// buffer's end goes with the next write.
TEST(ConsoleText, ACharacterCutAtTheEndWaitsForItsRest) {
    const struct {
        std::string text;
        size_t whole;
    } cases[] = {
        {"", 0},
        {"OK\n", 3},
        {"读设备错误!", 16},
        {"读设", 6},
        {"读\xe8\xae", 3},
        {"读\xe8", 3},
        {"x\xc2", 1},
        {"x\xc2\xb0", 3},
        {"x\xf0\x9f\x98", 1},
        {"x\xf0\x9f\x98\x80", 5},
    };
    for (const auto& c : cases) EXPECT_EQ(WholeUtf8Length(c.text.data(), c.text.size()), c.whole) << c.text;
}

}  // namespace
