#pragma once
// A driver object whose link is open on a fresh simulated line, opened the
// way the host opens it: 9600 baud, 8N1, 500 ms response time-out.
#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "driver/TestDriver.h"
#include "support/LineFixture.h"

struct ExchangeLine {
    explicit ExchangeLine(int16_t rtsControl = 0, std::unique_ptr<CSerialPort> port = std::make_unique<CSerialPort>())
        : settings(static_cast<int16_t>(line.PortIndex())), driver(std::move(port)) {
        settings.link.rtsControl = rtsControl;
        EXPECT_EQ(driver.Open(&settings.device), 1);
    }

    uint32_t QueuedBytes() const {
        DWORD errors = 0;
        COMSTAT status{};
        ClearCommError(driver.Port()->Handle(), &errors, &status);
        return status.cbInQue;
    }

    // Waits until count bytes are in the input queue, or a second passed.
    void AwaitQueuedInput(uint32_t count) const {
        for (int pass = 0; pass < 100 && QueuedBytes() < count; ++pass) Sleep(10);
        EXPECT_EQ(QueuedBytes(), count);
    }

    // Every request the slave received, once it received count of them or
    // a second passed.
    std::vector<std::vector<uint8_t>> AwaitRequests(size_t count) {
        std::vector<std::vector<uint8_t>> requests = line.Requests();
        for (int pass = 0; pass < 100 && requests.size() < count; ++pass) {
            Sleep(10);
            requests = line.Requests();
        }
        return requests;
    }

    // Whether a port-event wait on this quiet line lasts until its time-out.
    bool WaitsForPortEvents() {
        return driver.Port()->WaitEvent(nullptr, 50) == 1460;
    }

    LineFixture line;
    HostSettings settings;
    TestDriver driver;
};
