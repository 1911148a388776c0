#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "korvel-poll/poll/TagFile.h"
#include "tags/TagRecords.h"

namespace {

std::string Read(const std::string& text, std::vector<PollTag>& tags) {
    std::istringstream in(text);
    return ReadTagList(in, "plant.csv", tags);
}

TEST(TagFile, ReadsAddressTypeNameAndStation) {
    std::vector<PollTag> tags;
    ASSERT_EQ(Read("\xEF\xBB\xBF# process controller\r\n"
                   "address, type, name, station\r\n"
                   "\r\n"
                   "3x1, float, temperature\r\n"
                   "  4x10 ,uint32, counter , 7\r\n"
                   "\"4x20,4\", 8, \"block, of four\"\r\n"
                   "0x1,bit\r\n",
                   tags),
              "");
    ASSERT_EQ(tags.size(), 4u);
    EXPECT_EQ(tags[0].address, "3x1");
    EXPECT_EQ(tags[0].dataType, kTypeFloat);
    EXPECT_EQ(tags[0].name, "temperature");
    EXPECT_EQ(tags[0].station, "");
    EXPECT_EQ(tags[1].address, "4x10");
    EXPECT_EQ(tags[1].name, "counter");
    EXPECT_EQ(tags[1].station, "7");
    EXPECT_EQ(tags[2].address, "4x20,4");
    EXPECT_EQ(tags[2].dataType, kTypeUInt16);
    EXPECT_EQ(tags[2].name, "block, of four");
    EXPECT_EQ(tags[3].name, "0x1");
}

TEST(TagFile, ABadLineNamesFileAndLineAndAddsNothing) {
    struct Case {
        const char* text;
        const char* saysWhat;
    };
    const Case cases[] = {
        {"4x1,uint16\n4x2,word\n", "plant.csv:2: unknown type 'word'"},
        {"4x1\n", "plant.csv:1: expected 'address, type[, name[, station]]', found 1"},
        {"4x1,uint16,a,1,extra\n", "found 5"},
        {"# note\n4x0,uint16\n", "plant.csv:2: tag address '4x0' is out of range"},
        {"4x1,uint16,a,255\n", "station '255'"},
        {"4x1,uint16,a,x\n", "station 'x'"},
        {"\"4x1,2,uint16\n", "a quote is not closed"},
        {"4x1,2,uint16\n", "unknown type '2'"},
        {"0x1,int16\n", "does not fit area 0x"},
    };
    for (const Case& c : cases) {
        std::vector<PollTag> tags(1);
        std::string problem = Read(c.text, tags);
        EXPECT_NE(problem.find(c.saysWhat), std::string::npos) << c.text << "\n" << problem;
        EXPECT_EQ(tags.size(), 1u) << c.text;
    }
}

TEST(TagFile, AnEmptyFileGivesNoTags) {
    std::vector<PollTag> tags;
    EXPECT_EQ(Read("# nothing yet\n\naddress,type\n", tags), "");
    EXPECT_TRUE(tags.empty());
}

}  // namespace
