#include "ModbusSlave.h"

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
