#include "ModbusSlave.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstring>

namespace {

constexpr int kPollMs = 20;

// A request cut short ends after this much silence: four characters, but no
// less than a scheduler hiccup on a busy machine.
int SilenceMs(uint32_t baud) {
    return std::max(20, static_cast<int>(4 * 10 * 1000 / baud) + 1);
}

}  // namespace

ModbusSlave::ModbusSlave(std::string device, uint32_t baud, const std::vector<int>& stations)
    : m_device(std::move(device)), m_baud(baud), m_silenceMs(SilenceMs(baud)), m_tables(stations) {}

ModbusSlave::~ModbusSlave() {
    Stop();
}

bool ModbusSlave::Start(std::string& error) {
    if (m_context) return true;
    modbus_t* context = modbus_new_rtu(m_device.c_str(), static_cast<int>(m_baud), 'N', 8, 1);
    if (!context || modbus_connect(context) != 0) {
        error = "cannot start the slave on " + m_device + ": " + modbus_strerror(errno);
        if (context) modbus_free(context);
        return false;
    }
    modbus_flush(context);
    m_context = context;
    m_running = true;
    m_thread = std::thread(&ModbusSlave::Run, this);
    return true;
}

void ModbusSlave::Stop() {
    if (!m_context) return;
    m_running = false;
    m_thread.join();
    modbus_close(m_context);
    modbus_free(m_context);
    m_context = nullptr;
}

bool ModbusSlave::SwitchStation(int station, bool on) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_tables.Mapping(station)) return false;
    if (on) {
        m_switchedOff.erase(station);
    } else {
        m_switchedOff.insert(station);
    }
    return true;
}

bool ModbusSlave::Lack(Table table, int station, uint16_t address) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_tables.Mapping(station)) return false;
    m_lacking.insert({station, table, address});
    return true;
}

bool ModbusSlave::Set(Table table, int station, uint16_t address, uint16_t value) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_tables.Set(table, station, address, value);
}

std::optional<uint16_t> ModbusSlave::Get(Table table, int station, uint16_t address) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_tables.Get(table, station, address);
}

std::vector<Bytes> ModbusSlave::Requests() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

void ModbusSlave::ClearRequests() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.clear();
}

// A frame ends when its function code says it is complete, or on silence.
void ModbusSlave::Run() {
    int fd = modbus_get_socket(m_context);
    Bytes pending;
    while (m_running) {
        pollfd ready{fd, POLLIN, 0};
        int polled = poll(&ready, 1, pending.empty() ? kPollMs : m_silenceMs);
        uint8_t chunk[512];
        ssize_t n = polled > 0 && (ready.revents & POLLIN) ? read(fd, chunk, sizeof chunk) : 0;
        if (n > 0) pending.insert(pending.end(), chunk, chunk + n);
        else if (polled > 0) std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
        for (const Bytes& frame : TakeWholeFrames(pending, RequestLength)) Receive(frame);
        if (polled == 0 && !pending.empty()) {
            Receive(pending);
            pending.clear();
        }
    }
}

// Like a device on a shared bus, the slave hears every frame but answers only
// intact ones addressed to one of its stations.
void ModbusSlave::Receive(const Bytes& frame) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.push_back(frame);
    modbus_mapping_t* mapping = frame.empty() ? nullptr : m_tables.Mapping(frame[0]);
    if (!mapping || !HasValidCrc(frame) || m_switchedOff.count(frame[0])) return;
    if (TouchesLackingItem(frame)) {
        modbus_reply_exception(m_context, frame.data(), MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS);
        return;
    }
    modbus_reply(m_context, frame.data(), static_cast<int>(frame.size()), mapping);
}

// Read functions 1 to 4 only, and a whole frame of one (8 bytes with CRC).
bool ModbusSlave::TouchesLackingItem(const Bytes& frame) const {
    constexpr Table kTables[] = {Table::Coil, Table::Coil, Table::DiscreteInput, Table::HoldingRegister,
                                 Table::InputRegister};
    if (frame.size() != 8 || frame[1] < 1 || frame[1] > 4) return false;
    const uint32_t start = frame[2] << 8 | frame[3];
    const uint32_t end = start + (frame[4] << 8 | frame[5]);
    for (const auto& [station, table, address] : m_lacking) {
        if (station == frame[0] && table == kTables[frame[1]] && address >= start && address < end) return true;
    }
    return false;
}
