#pragma once
// State files: the plug-in's 1748-byte state chunk as it stands, the same files the offline
// renderer reads and writes with --state and --save-state.
//
// Threads: user-interface thread (the plug-in's state operations run there).

#include <optional>
#include <string>

#include "core/IByteChunk.h"
#include "core/IPluginBase.h"

namespace coral {

// The state chunk in the file at `path`, checked; nullopt with the reason in `error` when the
// file cannot be read or holds no valid state.
std::optional<reef::IByteChunk> ReadStateFile(const std::string& path, std::string& error);

// Loads the state file at `path` into `plug`; a file that cannot be used changes nothing and
// gives false with the reason in `error`.
bool LoadStateFile(reef::IPluginBase& plug, const std::string& path, std::string& error);

// Writes `plug`'s state to `path` through a temporary file renamed into place, so the file is
// either the complete new state or untouched; false with the reason in `error`.
bool SaveStateFile(const reef::IPluginBase& plug, const std::string& path, std::string& error);

} // namespace coral
