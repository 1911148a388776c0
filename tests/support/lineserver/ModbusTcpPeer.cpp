#include "ModbusTcpPeer.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace {

constexpr int kPollMs = 20;
constexpr int kUnitIdOffset = 6;

}  // namespace

ModbusTcpPeer::ModbusTcpPeer(const std::vector<int>& stations) : m_tables(stations) {}

ModbusTcpPeer::~ModbusTcpPeer() {
    Stop();
}

bool ModbusTcpPeer::Start(std::string& error) {
    if (m_context) return true;
    m_context = modbus_new_tcp("127.0.0.1", m_port);
    m_listener = m_context ? modbus_tcp_listen(m_context, 1) : -1;
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (m_listener < 0 || getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        error = std::string("cannot start the libmodbus TCP server: ") + modbus_strerror(errno);
        Stop();
        return false;
    }
    m_port = ntohs(address.sin_port);
    m_running = true;
    m_thread = std::thread(&ModbusTcpPeer::Serve, this);
    return true;
}

void ModbusTcpPeer::Stop() {
    m_running = false;
    if (m_thread.joinable()) m_thread.join();
    for (int* fd : {&m_client, &m_listener}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
    if (m_context) modbus_free(m_context);
    m_context = nullptr;
}

bool ModbusTcpPeer::Set(Table table, int station, uint16_t address, uint16_t value) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_tables.Set(table, station, address, value);
}

std::optional<uint16_t> ModbusTcpPeer::Get(Table table, int station, uint16_t address) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_tables.Get(table, station, address);
}

void ModbusTcpPeer::Serve() {
    while (m_running) {
        pollfd ready[2] = {{m_listener, POLLIN, 0}, {m_client, POLLIN, 0}};
        if (poll(ready, m_client >= 0 ? 2 : 1, kPollMs) <= 0) continue;
        if (ready[0].revents & POLLIN) {
            if (m_client >= 0) close(m_client);
            m_client = accept(m_listener, nullptr, nullptr);
            modbus_set_socket(m_context, m_client);
        } else if (ready[1].revents != 0) {
            Answer();
        }
    }
}

void ModbusTcpPeer::Answer() {
    uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
    const int length = modbus_receive(m_context, query);
    if (length < 0) {
        close(m_client);
        m_client = -1;
        return;
    }
    if (length > kUnitIdOffset) LogRequest(WithCrc(Bytes(query + kUnitIdOffset, query + length)));
    std::lock_guard<std::mutex> lock(m_mutex);
    if (modbus_mapping_t* mapping = length > kUnitIdOffset ? m_tables.Mapping(query[kUnitIdOffset]) : nullptr) {
        modbus_reply(m_context, query, length, mapping);
    }
}
