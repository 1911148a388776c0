#include "driver/PortTable.h"

PortLink g_portEvents[kPortCount] = {};
