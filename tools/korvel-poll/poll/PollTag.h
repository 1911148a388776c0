#pragma once
// One tag as the user named it: the address text the driver parses, its data
// type, a display name and the station it lives on.
#include <cstdint>
#include <string>

struct PollTag {
    std::string name;
    std::string address;
    int16_t dataType = 0;
    std::string station;  // empty: the run's --station
};

// Each check returns an empty text when the input is good, otherwise one line
// that says what is wrong.

// "4x100:uint16", "0x5:1", "3x7,4:float".
std::string ParseTagSpec(const std::string& text, PollTag& tag);
// A tag from its parts; an empty name becomes the address, an empty station
// stands for the run's --station.
std::string MakeTag(const std::string& address, const std::string& type, const std::string& name,
                    const std::string& station, PollTag& tag);
// The address syntax the driver accepts, by the driver's own area rules: an
// area prefix (0x/1x/3x/4x), an item number, an optional ",count" up to the
// area's largest, and a data type the area takes.
std::string CheckTagAddress(const std::string& address, int16_t dataType);
// Decimal 1..254, the station numbers the driver accepts.
std::string CheckStationText(const std::string& station);
// The area prefix of a checked address names a read-only area (1x, 3x).
bool IsReadOnlyArea(const std::string& address);
