#include "ComPortPath.h"

namespace bench {

bool ComPortPath(const std::string& number, std::string& path, std::string&) {
    path = "\\\\.\\COM" + number;
    return true;
}

}  // namespace bench
