#include "korvel-poll/poll/TagFile.h"

#include <fstream>

#include "korvel-poll/console/TextUtil.h"

namespace {

const char kUtf8Bom[] = "\xEF\xBB\xBF";

bool IsSkipped(const std::string& line) {
    return line.empty() || line[0] == '#';
}

bool IsHeader(const std::vector<std::string>& fields) {
    return ToLower(Trim(fields[0])) == "address";
}

std::string ParseLine(const std::vector<std::string>& fields, PollTag& tag) {
    if (fields.size() < 2 || fields.size() > 4) {
        return "expected 'address, type[, name[, station]]', found " + std::to_string(fields.size()) +
               " field(s)";
    }
    auto field = [&](size_t i) { return i < fields.size() ? Trim(fields[i]) : std::string(); };
    return MakeTag(field(0), field(1), field(2), field(3), tag);
}

}  // namespace

std::string ReadTagList(std::istream& in, const std::string& fileName, std::vector<PollTag>& tags) {
    std::vector<PollTag> read;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (number == 1 && line.compare(0, 3, kUtf8Bom) == 0) line.erase(0, 3);
        line = Trim(line);
        if (IsSkipped(line)) continue;
        std::vector<std::string> fields;
        PollTag tag;
        std::string problem = SplitCsvFields(line, fields) ? "" : "a quote is not closed";
        if (problem.empty() && read.empty() && IsHeader(fields)) continue;
        if (problem.empty()) problem = ParseLine(fields, tag);
        if (!problem.empty()) return fileName + ":" + std::to_string(number) + ": " + problem;
        read.push_back(tag);
    }
    tags.insert(tags.end(), read.begin(), read.end());
    return "";
}

std::string LoadTagFile(const std::string& path, std::vector<PollTag>& tags) {
    std::ifstream in(path);
    if (!in) return "cannot open the tag file '" + path + "'";
    return ReadTagList(in, path, tags);
}
