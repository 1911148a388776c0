#pragma once
// The test process's own resource figures, which a leak shows in: open
// handles and private (committed, unshared) memory.
#include <cstddef>
#include <cstdint>
#include <ostream>

struct ProcessFigures {
    uint32_t handles;
    size_t privateBytes;
};

ProcessFigures TakeProcessFigures();

inline std::ostream& operator<<(std::ostream& out, const ProcessFigures& figures) {
    return out << figures.handles << " handles, " << figures.privateBytes / 1024 << " KiB private";
}
