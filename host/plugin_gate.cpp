#include "host/plugin_gate.h"

namespace tev::devhost {
namespace {

// How deep the calling thread is inside the plugin. Nested entries never wait: the outer one
// already holds the gate, and waiting for a writer queued behind it would deadlock.
thread_local int tDepth = 0;

}  // namespace

bool PluginGate::inside() { return tDepth > 0; }

bool PluginGate::exclusiveWaiting() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return writersWaiting_ > 0;
}

PluginGate::Shared::Shared(PluginGate& gate) : gate_(tDepth > 0 ? nullptr : &gate) {
  ++tDepth;
  if (gate_ == nullptr) return;
  std::unique_lock<std::mutex> lock(gate_->mutex_);
  gate_->changed_.wait(lock, [this] { return !gate_->writer_ && gate_->writersWaiting_ == 0; });
  ++gate_->readers_;
}

PluginGate::Shared::~Shared() {
  --tDepth;
  if (gate_ == nullptr) return;
  std::lock_guard<std::mutex> lock(gate_->mutex_);
  if (--gate_->readers_ == 0) gate_->changed_.notify_all();
}

PluginGate::Exclusive::Exclusive(PluginGate& gate) : gate_(tDepth > 0 ? nullptr : &gate) {
  ++tDepth;
  if (gate_ == nullptr) return;
  std::unique_lock<std::mutex> lock(gate_->mutex_);
  ++gate_->writersWaiting_;
  gate_->changed_.wait(lock, [this] { return !gate_->writer_ && gate_->readers_ == 0; });
  --gate_->writersWaiting_;
  gate_->writer_ = true;
}

PluginGate::Exclusive::~Exclusive() {
  --tDepth;
  if (gate_ == nullptr) return;
  std::lock_guard<std::mutex> lock(gate_->mutex_);
  gate_->writer_ = false;
  gate_->changed_.notify_all();
}

}  // namespace tev::devhost
