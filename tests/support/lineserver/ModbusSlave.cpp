#include "ModbusSlave.h"

#include <algorithm>
#include <cerrno>

ModbusSlave::ModbusSlave(std::string device, uint32_t baud, const std::vector<int>& stations)
    : m_device(std::move(device)), m_baud(baud), m_tables(stations) {}

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
    m_thread = std::thread([this] {
        ReceiveFrames(modbus_get_socket(m_context), m_baud, m_running, [this](const Bytes& frame) { Receive(frame); });
    });
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

bool ModbusSlave::Lack(Table table, int station, uint16_t address, bool lacking) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_tables.Mapping(station)) return false;
    if (lacking) {
        m_lacking.insert({station, table, address});
    } else {
        m_lacking.erase({station, table, address});
    }
    return true;
}

bool ModbusSlave::Refuse(const Refusal& refusal) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_tables.Mapping(refusal.station)) return false;
    m_refusals.push_back(refusal);
    return true;
}

bool ModbusSlave::Accept(int station) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_tables.Mapping(station)) return false;
    m_refusals.erase(std::remove_if(m_refusals.begin(), m_refusals.end(),
                                    [station](const Refusal& refusal) { return refusal.station == station; }),
                     m_refusals.end());
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

// Like a device on a shared bus, the slave hears every frame but answers only
// intact ones addressed to one of its stations.
void ModbusSlave::Receive(const Bytes& frame) {
    LogRequest(frame);
    std::lock_guard<std::mutex> lock(m_mutex);
    modbus_mapping_t* mapping = frame.empty() ? nullptr : m_tables.Mapping(frame[0]);
    if (!mapping || !HasValidCrc(frame) || m_switchedOff.count(frame[0])) return;
    if (const uint8_t code = RefusalFor(frame)) {
        modbus_reply_exception(m_context, frame.data(), code);
        return;
    }
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
    uint32_t first = 0, last = 0;
    if (frame.size() != 8 || frame[1] < 1 || frame[1] > 4 || !RequestItems(frame, first, last)) return false;
    for (const auto& [station, table, address] : m_lacking) {
        if (station == frame[0] && table == kTables[frame[1]] && address >= first && address <= last) return true;
    }
    return false;
}

// A refusal of every item covers requests of any function.
uint8_t ModbusSlave::RefusalFor(const Bytes& frame) {
    const auto now = std::chrono::steady_clock::now();
    m_refusals.erase(std::remove_if(m_refusals.begin(), m_refusals.end(),
                                    [now](const Refusal& refusal) { return refusal.until && *refusal.until <= now; }),
                     m_refusals.end());
    uint32_t first = 0, last = 0xFFFF;
    const bool ranged = RequestItems(frame, first, last);
    for (auto refusal = m_refusals.begin(); refusal != m_refusals.end(); ++refusal) {
        const bool everyItem = refusal->first == 0 && refusal->last == 0xFFFF;
        const bool touches = ranged ? first <= refusal->last && last >= refusal->first : everyItem;
        if (refusal->station != frame[0] || !touches) continue;
        const uint8_t code = refusal->code;
        if (refusal->once) m_refusals.erase(refusal);
        return code;
    }
    return 0;
}
