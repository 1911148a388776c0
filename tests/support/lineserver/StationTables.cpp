#include "StationTables.h"

namespace {

constexpr int kAddressCount = 65536;

struct TableName {
    Table table;
    const char* name;
};

const TableName kTableNames[] = {
    {Table::Coil, "coil"},
    {Table::DiscreteInput, "discrete-input"},
    {Table::InputRegister, "input-register"},
    {Table::HoldingRegister, "holding-register"},
};

}  // namespace

std::optional<Table> TableNamed(const std::string& name) {
    for (const TableName& entry : kTableNames) {
        if (name == entry.name) return entry.table;
    }
    return std::nullopt;
}

const char* NameOf(Table table) {
    for (const TableName& entry : kTableNames) {
        if (table == entry.table) return entry.name;
    }
    return "";
}

StationTables::StationTables(const std::vector<int>& stations) {
    for (int station : stations) {
        m_mappings[station].reset(modbus_mapping_new(kAddressCount, kAddressCount, kAddressCount, kAddressCount));
    }
}

modbus_mapping_t* StationTables::Mapping(int station) {
    auto found = m_mappings.find(station);
    return found == m_mappings.end() ? nullptr : found->second.get();
}

bool StationTables::Set(Table table, int station, uint16_t address, uint16_t value) {
    modbus_mapping_t* mapping = Mapping(station);
    if (!mapping) return false;
    switch (table) {
        case Table::Coil: mapping->tab_bits[address] = value != 0; break;
        case Table::DiscreteInput: mapping->tab_input_bits[address] = value != 0; break;
        case Table::InputRegister: mapping->tab_input_registers[address] = value; break;
        case Table::HoldingRegister: mapping->tab_registers[address] = value; break;
    }
    return true;
}

std::optional<uint16_t> StationTables::Get(Table table, int station, uint16_t address) {
    modbus_mapping_t* mapping = Mapping(station);
    if (!mapping) return std::nullopt;
    switch (table) {
        case Table::Coil: return mapping->tab_bits[address];
        case Table::DiscreteInput: return mapping->tab_input_bits[address];
        case Table::InputRegister: return mapping->tab_input_registers[address];
        case Table::HoldingRegister: return mapping->tab_registers[address];
    }
    return std::nullopt;
}
