#pragma once
// What the watch view knows of each tag over a run: the value it holds, when
// and how often that value changed, how often the tag failed, and its last
// values for the trend. The reads come in with the time they were made, so
// the record of a run is the same whatever clock drives it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A tag as its row names it.
struct WatchTagName {
    std::string name;
    std::string station;
    std::string address;
    std::string type;
    bool numeric = true;  // its values can be drawn as a trend
    bool bit = false;     // its trend is drawn as steps between 0 and 1
    size_t valueWidth = 0;  // the widest text its type can show, so the column need not grow
};

// One read as the run made it.
struct WatchReading {
    bool read = false;   // the driver delivered a value
    std::string value;   // when read
    std::string status;  // "OK" or the driver's error text
};

// A row of the watch view at one moment.
struct WatchRow {
    const WatchTagName* tag = nullptr;
    std::string value;   // the last read's value, "-" when it failed or none was made yet
    std::string status;  // "" before the first read
    bool failed = false;            // the last read failed
    bool changed = false;           // the last read brought a new value
    std::optional<uint64_t> heldMs;  // since the value last changed; none before a first change
    uint32_t changes = 0;
    uint32_t failures = 0;
    const std::vector<double>* trend = nullptr;  // oldest first, NaN for a failed read; null when not numeric
};

class WatchTags {
public:
    // The values each tag keeps for its trend.
    static constexpr size_t kTrendLength = 32;

    explicit WatchTags(std::vector<WatchTagName> tags);

    size_t Size() const { return m_tags.size(); }
    void Record(size_t index, const WatchReading& reading, uint64_t nowMs);
    // The rows as they stand at nowMs. They point into this object.
    std::vector<WatchRow> Rows(uint64_t nowMs) const;

private:
    struct TagState {
        WatchTagName name;
        bool everRead = false;       // a value was delivered
        std::string lastValue;       // the last value delivered
        bool lastFailed = false;
        bool changed = false;
        std::optional<uint64_t> changedAtMs;
        uint32_t changes = 0;
        uint32_t failures = 0;
        std::string status;
        std::vector<double> trend;
    };

    void AddToTrend(TagState& tag, double value);

    std::vector<TagState> m_tags;
};
