#include "ComLink.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

constexpr int kFirstNumber = 10;
constexpr int kLastNumber = 63;
const char kPtsFolder[] = "/dev/pts/";
const char kNowherePrefix[] = "/.korvel-device-away-";

std::string LinkTarget(const std::string& path) {
    char target[256];
    ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
    return length < 0 ? std::string() : std::string(target, static_cast<size_t>(length));
}

// The server that pointed a link nowhere while its device was away has ended.
bool IsOrphanedNowhere(const std::string& target) {
    const size_t at = target.rfind(kNowherePrefix);
    if (at == std::string::npos) return false;
    const pid_t owner = static_cast<pid_t>(std::atoi(target.c_str() + at + sizeof kNowherePrefix - 1));
    return owner > 0 && kill(owner, 0) != 0 && errno == ESRCH;
}

// A link into /dev/pts whose pty is gone was left by a server that did not
// end cleanly; its number may be taken again.
bool IsStalePtyLink(const std::string& path) {
    std::string target = LinkTarget(path);
    struct stat info;
    return (target.compare(0, sizeof kPtsFolder - 1, kPtsFolder) == 0 && stat(target.c_str(), &info) != 0) ||
           IsOrphanedNowhere(target);
}

// Serialises claims between the line servers of one prefix, so a stale link
// is never removed while another server is claiming the same number. The
// file also holds the number claimed last: claims go round the numbers, so a
// number just given back is not handed out again at once, and a test that
// closed its line finds its COM port gone though other tests run beside it.
class PrefixLock {
public:
    explicit PrefixLock(const std::string& winePrefix)
        : m_fd(open((winePrefix + "/.korvel-com-links.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
        if (m_fd >= 0) flock(m_fd, LOCK_EX);
    }
    ~PrefixLock() {
        if (m_fd >= 0) close(m_fd);
    }
    bool Held() const { return m_fd >= 0; }

    int LastClaimed() const {
        char text[16] = {};
        return pread(m_fd, text, sizeof text - 1, 0) > 0 ? std::atoi(text) : kLastNumber;
    }
    void RecordClaimed(int number) const {
        const std::string text = std::to_string(number) + "\n";
        if (ftruncate(m_fd, 0) == 0) (void)!pwrite(m_fd, text.data(), text.size(), 0);
    }

private:
    int m_fd;
};

int NumberAfter(int number) {
    return number >= kFirstNumber && number < kLastNumber ? number + 1 : kFirstNumber;
}

}  // namespace

std::unique_ptr<ComLink> ComLink::Claim(const std::string& winePrefix, const std::string& target,
                                        std::string& error) {
    std::string folder = winePrefix + "/dosdevices";
    struct stat info;
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        error = "no dosdevices folder in the Wine prefix " + winePrefix;
        return nullptr;
    }
    PrefixLock lock(winePrefix);
    if (!lock.Held()) {
        error = "cannot lock the Wine prefix " + winePrefix + ": " + std::strerror(errno);
        return nullptr;
    }
    int number = lock.LastClaimed();
    for (int tried = 0; tried <= kLastNumber - kFirstNumber; ++tried) {
        number = NumberAfter(number);
        std::string path = folder + "/com" + std::to_string(number);
        if (IsStalePtyLink(path)) unlink(path.c_str());
        if (symlink(target.c_str(), path.c_str()) == 0) {
            lock.RecordClaimed(number);
            return std::unique_ptr<ComLink>(new ComLink(path, target, number));
        }
        if (errno != EEXIST) {
            error = "cannot link " + path + ": " + std::strerror(errno);
            return nullptr;
        }
    }
    error = "every COM number from 10 to 63 is taken in " + folder;
    return nullptr;
}

ComLink::ComLink(std::string path, std::string target, int number)
    : m_path(std::move(path)), m_target(std::move(target)), m_number(number) {}

std::string ComLink::Nowhere(const std::string& winePrefix) {
    return winePrefix + kNowherePrefix + std::to_string(getpid());
}

// A new link renamed over the old one: the name never goes missing, so no
// other server can claim the number meanwhile.
bool ComLink::Retarget(const std::string& target, std::string& error) {
    const std::string fresh = m_path + ".new";
    unlink(fresh.c_str());
    if (symlink(target.c_str(), fresh.c_str()) != 0 || rename(fresh.c_str(), m_path.c_str()) != 0) {
        error = "cannot point " + m_path + " at " + target + ": " + std::strerror(errno);
        unlink(fresh.c_str());
        return false;
    }
    m_target = target;
    return true;
}

ComLink::~ComLink() {
    if (LinkTarget(m_path) == m_target) unlink(m_path.c_str());
}
