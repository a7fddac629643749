// Hooks of the message log for tests: an extra sink that receives every
// delivered message, the level threshold, and re-reading the configuration.
// Not part of the library's interface; tests reach it through the object
// library.
#ifndef MOD_MESSAGE_SINK_H
#define MOD_MESSAGE_SINK_H

#include <cstdint>
#include <functional>
#include <string>

#include "Mod/ModMessage.h"

// Receives one delivered message: its level, the source file name without
// extension, the line and the whole text. Called on the thread that ends the
// message, while the log lock is held; it must not block on other threads
// that may be logging.
using ModMessageSinkFunction = std::function<void(ModMessageLevel level, const std::string& file,
                                                  int line, const std::string& text)>;

// Adds a sink beside the configured destination; returns its handle.
uint64_t ModMessageAttachSink(ModMessageSinkFunction sink);
// Removes the sink of `handle`; once this returns it is no longer called.
void ModMessageDetachSink(uint64_t handle);

// The most verbose level that is delivered, or Off.
enum class ModMessageThreshold : int32_t { Off = -1, Error = 0, Normal = 1, Debug = 2 };
ModMessageThreshold ModMessageGetThreshold();
// Overrides the configured threshold until the next reload.
void ModMessageSetThreshold(ModMessageThreshold threshold);

// Reloads ModParameter and reads TavOdbLogLevel and TavOdbLogFile again,
// reopening the destination.
void ModMessageReloadConfiguration();

#endif  // MOD_MESSAGE_SINK_H
