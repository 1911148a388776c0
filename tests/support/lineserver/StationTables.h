#pragma once
// The four Modbus tables of every station on the line, each covering the
// whole 16-bit address range. Not locked: the slave's owner locks.
#include <modbus/modbus.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

enum class Table { Coil, DiscreteInput, InputRegister, HoldingRegister };

// "coil", "discrete-input", "input-register", "holding-register".
std::optional<Table> TableNamed(const std::string& name);
const char* NameOf(Table table);

class StationTables {
public:
    explicit StationTables(const std::vector<int>& stations);

    // Null for a station not on the line.
    modbus_mapping_t* Mapping(int station);
    bool Set(Table table, int station, uint16_t address, uint16_t value);
    std::optional<uint16_t> Get(Table table, int station, uint16_t address);

private:
    struct MappingDeleter {
        void operator()(modbus_mapping_t* mapping) const { modbus_mapping_free(mapping); }
    };
    std::map<int, std::unique_ptr<modbus_mapping_t, MappingDeleter>> m_mappings;
};
