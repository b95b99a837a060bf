// Owners for the host records the plugin builds or receives during one call: a host value the
// plugin made, a list of local-request parameters, and the release of the host's answers.
// Internal to plugin/; each object lives on the stack of the call that sends the request.
#pragma once

#include "binding/host_value_conversion.h"
#include "platform/allocator.h"
#include "platform/host_boundary.h"

namespace tev::plugin_internal {

// A host value built by the plugin, freed when the owner goes.
class OwnedHostValue {
 public:
  OwnedHostValue() = default;
  ~OwnedHostValue() { clearHostValue(value_); }
  OwnedHostValue(const OwnedHostValue&) = delete;
  OwnedHostValue& operator=(const OwnedHostValue&) = delete;

  HostValue& get() noexcept { return value_; }

 private:
  HostValue value_{};
};

// Local-request parameters whose values the plugin built; the names are borrowed.
class HostParameterList {
 public:
  HostParameterList() = default;
  ~HostParameterList() {
    for (HostLocalParameter& parameter : parameters_) clearHostValue(parameter.value);
  }
  HostParameterList(const HostParameterList&) = delete;
  HostParameterList& operator=(const HostParameterList&) = delete;

  // A new zeroed parameter at the end; throws std::bad_alloc when memory runs out.
  HostLocalParameter& append() { return parameters_.emplace_back(HostLocalParameter{}); }
  void reserve(std::size_t count) { parameters_.reserve(count); }
  [[nodiscard]] const HostLocalParameter* data() const noexcept { return parameters_.data(); }
  [[nodiscard]] std::size_t size() const noexcept { return parameters_.size(); }

 private:
  Vector<HostLocalParameter> parameters_;
};

// Calls the answer's release function, when the host set one, as the scope ends.
template <typename Answer>
class AnswerRelease {
 public:
  explicit AnswerRelease(Answer& answer) noexcept : answer_(answer) {}
  ~AnswerRelease() {
    if (answer_.release != nullptr) answer_.release(&answer_);
  }
  AnswerRelease(const AnswerRelease&) = delete;
  AnswerRelease& operator=(const AnswerRelease&) = delete;

 private:
  Answer& answer_;
};

}  // namespace tev::plugin_internal
