#include "host/plugin_gate.h"

namespace tev::devhost {
namespace {

// How deep the calling thread is inside the plugin. Nested entries never wait: the outer one
// already holds the gate, and waiting for a writer queued behind it would deadlock.
thread_local int tDepth = 0;

}  // namespace

bool PluginGate::inside() { return tDepth > 0; }

bool PluginGate::exclusiveWaiting() { return writers_.load() > 0; }

PluginGate::Shared::Shared(PluginGate& gate) : gate_(tDepth > 0 ? nullptr : &gate) {
  ++tDepth;
  if (gate_ == nullptr) return;
  for (;;) {
    if (gate_->writers_.load() == 0) {
      gate_->readers_.fetch_add(1);
      // Both sides announce themselves before looking at the other (sequentially consistent),
      // so a writer either sees this reader or this reader sees the writer.
      if (gate_->writers_.load() == 0) return;
      if (gate_->readers_.fetch_sub(1) == 1) {
        const std::lock_guard<std::mutex> lock(gate_->mutex_);
        gate_->changed_.notify_all();
      }
    }
    std::unique_lock<std::mutex> lock(gate_->mutex_);
    gate_->changed_.wait(lock, [this] { return gate_->writers_.load() == 0; });
  }
}

PluginGate::Shared::~Shared() {
  --tDepth;
  if (gate_ == nullptr) return;
  if (gate_->readers_.fetch_sub(1) == 1 && gate_->writers_.load() != 0) {
    const std::lock_guard<std::mutex> lock(gate_->mutex_);
    gate_->changed_.notify_all();
  }
}

PluginGate::Exclusive::Exclusive(PluginGate& gate) : gate_(tDepth > 0 ? nullptr : &gate) {
  ++tDepth;
  if (gate_ == nullptr) return;
  std::unique_lock<std::mutex> lock(gate_->mutex_);
  gate_->writers_.fetch_add(1);
  gate_->changed_.wait(lock, [this] { return !gate_->writer_ && gate_->readers_.load() == 0; });
  gate_->writer_ = true;
}

PluginGate::Exclusive::~Exclusive() {
  --tDepth;
  if (gate_ == nullptr) return;
  const std::lock_guard<std::mutex> lock(gate_->mutex_);
  gate_->writer_ = false;
  gate_->writers_.fetch_sub(1);
  gate_->changed_.notify_all();
}

}  // namespace tev::devhost
