#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "ComPortPath.h"

namespace bench {

bool ComPortPath(const std::string& number, std::string& path, std::string& error) {
    const char* prefix = std::getenv("WINEPREFIX");
    const std::string link = std::string(prefix != nullptr ? prefix : "") + "/dosdevices/com" + number;
    char target[PATH_MAX];
    const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    if (length <= 0) {
        error = "cannot resolve " + link + " (is WINEPREFIX the line server's prefix?)";
        return false;
    }
    path.assign(target, static_cast<size_t>(length));
    return true;
}

}  // namespace bench
