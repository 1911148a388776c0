#pragma once
// The COM port a Wine program sees: $WINEPREFIX/dosdevices/comN pointing at a
// pty. Numbers 10..63 are handed out in turn, so several test programs can
// share one prefix side by side.
#include <memory>
#include <string>

class ComLink {
public:
    // Claims the next free number after the one claimed last for target;
    // null with a reason in error when the prefix has no dosdevices folder
    // or every number is taken.
    static std::unique_ptr<ComLink> Claim(const std::string& winePrefix, const std::string& target,
                                          std::string& error);
    ~ComLink();
    ComLink(const ComLink&) = delete;
    ComLink& operator=(const ComLink&) = delete;

    int Number() const { return m_number; }
    // Points the link at target instead, keeping the number.
    bool Retarget(const std::string& target, std::string& error);
    // A target where nothing is, which keeps the number while this server
    // runs: what the link points at while its device is away.
    static std::string Nowhere(const std::string& winePrefix);

private:
    ComLink(std::string path, std::string target, int number);

    std::string m_path;
    std::string m_target;
    int m_number;
};
