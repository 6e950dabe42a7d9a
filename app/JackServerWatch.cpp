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
  jack_on_shutdown(client_, &JackServerWatch::OnShutdown, this);
  return true;
}

void JackServerWatch::Close() {
  if (client_) jack_client_close(client_);
  client_ = nullptr;
  lost_.store(true);
}

void JackServerWatch::OnShutdown(void* watch) {
  static_cast<JackServerWatch*>(watch)->lost_.store(true);
}

} // namespace coral
