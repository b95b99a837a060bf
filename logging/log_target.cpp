#include "logging/log_target.h"

#include <cstddef>

namespace tev {
namespace {

LogTarget* ownerOf(LogTargetInterface* self) { return LogTarget::fromInterface(self); }

std::int32_t entryVersion(LogTargetInterface*) { return kLogTargetInterfaceVersion; }

void entrySetLevel(LogTargetInterface* self, std::int32_t level) { ownerOf(self)->setLevel(level); }

std::int32_t entryGetLevel(LogTargetInterface* self) { return ownerOf(self)->level(); }

std::uint64_t joinWords(std::uint32_t low, std::uint32_t high) {
  return (std::uint64_t{high} << 32) | low;
}

void entrySetMasks(LogTargetInterface* self, std::uint32_t includeLow, std::uint32_t includeHigh,
                   std::uint32_t excludeLow, std::uint32_t excludeHigh) {
  ownerOf(self)->setMasks(joinWords(includeLow, includeHigh), joinWords(excludeLow, excludeHigh));
}

std::uint64_t entryGetIncludeMask(LogTargetInterface* self) { return ownerOf(self)->includeMask(); }

std::uint64_t entryGetExcludeMask(LogTargetInterface* self) { return ownerOf(self)->excludeMask(); }

const char* entryName(LogTargetInterface* self) { return ownerOf(self)->name(); }

const char* entryPattern(LogTargetInterface* self) { return ownerOf(self)->pattern(); }

void entryRegister(LogTargetInterface* self) { ownerOf(self)->registerTarget(); }

void entryUnregister(LogTargetInterface* self) { ownerOf(self)->unregister(); }

bool entryIsRegistered(LogTargetInterface* self) { return ownerOf(self)->isRegistered(); }

bool entryWriteNothing(LogTargetInterface*, const LogRecord*) { return false; }

bool entryWrite(LogTargetInterface* self, const LogRecord* record) {
  return record != nullptr && ownerOf(self)->write(*record);
}

}  // namespace

LogTarget::LogTarget() : LogTarget(logApi()) {}

LogTarget::LogTarget(const LogApi& api) : pattern_(kDefaultLogPattern), api_(&api) {
  slot_.entries = LogTargetInterface{&entryVersion,    &entrySetLevel,       &entryGetLevel,
                                     &entrySetMasks,   &entryGetIncludeMask, &entryGetExcludeMask,
                                     &entryName,       &entryPattern,        &entryRegister,
                                     &entryUnregister, &entryIsRegistered,   &entryWriteNothing};
  slot_.owner = this;
}

LogTarget::~LogTarget() { detach(); }

LogTarget* LogTarget::fromInterface(LogTargetInterface* target) noexcept {
  static_assert(offsetof(Slot, entries) == 0, "the interface opens the slot");
  return target != nullptr ? reinterpret_cast<Slot*>(target)->owner : nullptr;
}

void LogTarget::enableWriteEntry() noexcept { slot_.entries.write = &entryWrite; }

// The flag flips under no lock and the log's list changes under the log's lock only. Holding the
// target's lock while waiting for the log's would deadlock against a delivery, which holds the
// log's lock while it waits for the target's.
void LogTarget::unregister() {
  if (registered_.exchange(false)) api_->removeTarget(targetInterface());
}

void LogTarget::registerTarget() {
  if (!registered_.exchange(true)) api_->addTarget(targetInterface());
}

// removeTarget takes the log's lock, which every delivery holds throughout, so once it returns no
// write is running and none can start. Removing even when the flag is clear covers a target that
// was added to the list directly, or whose register and unregister raced on two threads.
void LogTarget::detach() {
  registered_.store(false);
  api_->removeTarget(targetInterface());
}

bool LogTarget::isRegistered() const noexcept { return registered_.load(); }

const char* LogTarget::name() const { return "LogTarget"; }

const char* LogTarget::pattern() const { return pattern_.c_str(); }

void LogTarget::setLevel(std::int32_t level) {
  platform::RecursiveLockGuard guard(lock_);
  level_.store(level);
}

std::int32_t LogTarget::level() const noexcept { return level_.load(std::memory_order_relaxed); }

void LogTarget::setMasks(std::uint64_t include, std::uint64_t exclude) {
  platform::RecursiveLockGuard guard(lock_);
  includeMask_.store(include & ~exclude);
  excludeMask_.store(exclude);
}

std::uint64_t LogTarget::includeMask() const noexcept {
  return includeMask_.load(std::memory_order_relaxed);
}

std::uint64_t LogTarget::excludeMask() const noexcept {
  return excludeMask_.load(std::memory_order_relaxed);
}

void LogTarget::setPattern(const char* pattern) {
  platform::RecursiveLockGuard guard(lock_);
  pattern_ = pattern != nullptr ? pattern : "";
}

// The settings are complete before the target is back in the list, so a record delivered while
// this runs sees either none of them (the target is not registered) or all of them.
void LogTarget::configure(const LogTargetConfig& config) {
  unregister();
  {
    platform::RecursiveLockGuard guard(lock_);
    pattern_ = config.pattern;
    setLevel(config.level);
    setMasks(config.includeMask, config.excludeMask);
  }
  registerTarget();
}

std::size_t LogTarget::renderLine(const LogRecord& record, char* buffer, std::size_t size) const {
  return api_->formatLine(&record, pattern_.c_str(), buffer, size);
}

BaseConsoleLogTarget::BaseConsoleLogTarget() { enableWriteEntry(); }

BaseConsoleLogTarget::BaseConsoleLogTarget(const LogApi& api) : LogTarget(api) {
  enableWriteEntry();
}

BaseConsoleLogTarget::~BaseConsoleLogTarget() { detach(); }

const char* BaseConsoleLogTarget::name() const { return "BaseConsoleLogTarget"; }

}  // namespace tev
