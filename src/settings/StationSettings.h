#pragma once
// What the settings file decides for one station: the effective values
// after every section has been applied, in the forms the driver uses. A
// default-constructed record holds the defaults, which are the driver's
// behaviour without a file.
#include <cstdint>
#include <string>

#include "modbus/WordOrder.h"
#include "settings/BlockLimits.h"
#include "settings/SettingKeys.h"

namespace modbus {

struct StationSettings {
    // Of uint32 and float tags, reads and writes alike.
    WordOrder wordOrder = static_cast<WordOrder>(kSettingRules[kWordOrder].defaultValue);
    // Which functions write one coil or one register.
    WriteFunctions writeFunctions = static_cast<WriteFunctions>(kSettingRules[kWriteFunction].defaultValue);
    // Repeats of a request whose reply was broken, and of one that got none.
    int32_t retries = kSettingRules[kRetries].defaultValue;
    int32_t timeoutRetries = kSettingRules[kTimeoutRetries].defaultValue;
    // The wait before a request the device answered busy goes again; such
    // repeats draw on retries.
    int32_t busyRetryMs = kSettingRules[kBusyRetryMs].defaultValue;
    // Consecutive unanswered requests before the station is demoted (0:
    // never), and for how long.
    int32_t demoteAfter = kSettingRules[kDemoteAfter].defaultValue;
    int32_t demoteForMs = kSettingRules[kDemoteForMs].defaultValue;
    // Extra silence before each request; the same for every station of a
    // line.
    int32_t requestGapMs = kSettingRules[kRequestGapMs].defaultValue;
    // The silence before each request; 0: the line format's own.
    int32_t silenceUs = kSettingRules[kSilenceUs].defaultValue;
    // How often a lost port of the line is tried again: at first, and at
    // most once the loss has lasted a minute.
    int32_t reopenMs = kSettingRules[kReopenMs].defaultValue;
    int32_t reopenMaxMs = kSettingRules[kReopenMaxMs].defaultValue;
    // How the line reaches its devices; where a network line connects
    // (empty for a serial line), and how long a connection may take.
    Transport transport = static_cast<Transport>(kSettingRules[kTransport].defaultValue);
    std::string endpoint;
    int32_t connectTimeoutMs = kSettingRules[kConnectTimeoutMs].defaultValue;
    // How long an unanswered request's reply may still come; 0: ten
    // response time-outs.
    int32_t lateReplyMaxMs = kSettingRules[kLateReplyMaxMs].defaultValue;
    // How a Modbus TCP line matches replies to requests by their transaction.
    TransactionCheck transactionCheck = static_cast<TransactionCheck>(kSettingRules[kTransactionCheck].defaultValue);
    // How long a network line's connection may stay without a request
    // before the line closes it (0: never), and the pause after a new
    // connection before its first request.
    int32_t idleCloseMs = kSettingRules[kIdleCloseMs].defaultValue;
    int32_t connectDelayMs = kSettingRules[kConnectDelayMs].defaultValue;
    // The unit id a Modbus TCP request carries for the station;
    // kUnitIdOfStation: the station's address.
    int32_t unitId = kSettingRules[kUnitId].defaultValue;
    // Whether requests come back before their replies (EchoSetting).
    int32_t echo = kSettingRules[kEcho].defaultValue;
    // For the station's register caches (16- and 32-bit) and bit caches.
    BlockLimits registerLimits = kRegisterBlockLimits;
    BlockLimits bitLimits = kBitBlockLimits;
    // How long the splits learned from refused blocks hold before the whole
    // block is asked for again (0: for good).
    int32_t relearnMs = kSettingRules[kRelearnMs].defaultValue;
};

}  // namespace modbus
