#include "app/StateFile.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <glib.h>

#include "core/StateChunk.h"

namespace coral {

std::optional<reef::IByteChunk> ReadStateFile(const std::string& path, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    error = "cannot read state '" + path + "': " + std::strerror(errno);
    return std::nullopt;
  }
  // One byte more than a state tells a longer file from a state.
  std::uint8_t bytes[kStateChunkSize + 1];
  const std::size_t size = std::fread(bytes, 1, sizeof bytes, file);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    error = "cannot read state '" + path + "'";
    return std::nullopt;
  }
  if (size != static_cast<std::size_t>(kStateChunkSize)) {
    error = "state '" + path + "' rejected: size: " +
            (size > static_cast<std::size_t>(kStateChunkSize) ? "more than " : "") +
            std::to_string(size == sizeof bytes ? kStateChunkSize : size) +
            " bytes, a state is exactly " + std::to_string(kStateChunkSize);
    return std::nullopt;
  }
  reef::IByteChunk chunk;
  chunk.PutBytes(bytes, kStateChunkSize);
  StateContent content;
  const StateVerdict verdict = CheckStateChunk(chunk, 0, content);
  if (!verdict.accepted) {
    error = "state '" + path + "' rejected: " + verdict.reason;
    return std::nullopt;
  }
  return chunk;
}

bool LoadStateFile(reef::IPluginBase& plug, const std::string& path, std::string& error) {
  const std::optional<reef::IByteChunk> chunk = ReadStateFile(path, error);
  if (!chunk) return false;
  if (plug.UnserializeState(*chunk, 0) < 0) {
    error = "state '" + path + "' rejected";
    return false;
  }
  return true;
}

bool SaveStateFile(const reef::IPluginBase& plug, const std::string& path, std::string& error) {
  reef::IByteChunk chunk;
  plug.SerializeState(chunk);
  GError* failure = nullptr;
  if (!g_file_set_contents(path.c_str(), reinterpret_cast<const gchar*>(chunk.GetData()),
                           chunk.Size(), &failure)) {
    error = "cannot write state '" + path + "': " + failure->message;
    g_error_free(failure);
    return false;
  }
  return true;
}

} // namespace coral
