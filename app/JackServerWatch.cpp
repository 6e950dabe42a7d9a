#include "app/JackServerWatch.h"

namespace coral {

JackServerWatch::~JackServerWatch() {
  Close();
}

bool JackServerWatch::Open() {
  Close();
  client_ = jack_client_open("CoralSieve", JackNoStartServer, nullptr);
  if (!client_) return false;
  lost_.store(false);
  period_.store(jack_get_buffer_size(client_));
  jack_on_shutdown(client_, &JackServerWatch::OnShutdown, this);
  // Period notices come only to an active client; the watch has no ports and no process
  // callback, so it costs the server nothing per cycle.
  jack_set_buffer_size_callback(client_, &JackServerWatch::OnPeriod, this);
  jack_activate(client_);
  return true;
}

void JackServerWatch::Close() {
  if (client_) jack_client_close(client_);
  client_ = nullptr;
  lost_.store(true);
  period_.store(0);
}

void JackServerWatch::OnShutdown(void* watch) {
  static_cast<JackServerWatch*>(watch)->lost_.store(true);
}

int JackServerWatch::OnPeriod(jack_nframes_t frames, void* watch) {
  static_cast<JackServerWatch*>(watch)->period_.store(frames);
  return 0;
}

} // namespace coral
