// Writes the example settings file, Korvel.ini.example, that ships beside
// the module. Built with the host compiler while the module is built, so
// the file comes from the same table of keys as the driver that reads it.
#include <fstream>
#include <iostream>

#include "settings/SettingsExample.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: korvel-settings-example FILE\n";
        return 2;
    }
    std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
    file << modbus::SettingsExampleText();
    file.close();
    if (!file) {
        std::cerr << "korvel-settings-example: cannot write " << argv[1] << '\n';
        return 1;
    }
    return 0;
}
