#include "binding/binding_registry.h"

#include <cassert>
#include <cstring>
#include <utility>

#include "binding/binding_builtin_types.h"

namespace tev {

namespace {

constexpr std::size_t kInitialBuckets = 8;

template <typename Map>
auto takeAll(std::mutex& mutex, Map& map) {
  Map taken;
  std::lock_guard lock(mutex);
  taken.swap(map);
  return taken;
}

}  // namespace

const BindingEnumerator* BindingTypeDescriptor::findEnumerator(
    std::string_view enumeratorName) const {
  const auto found = enumerators.find(enumeratorName);
  return found == enumerators.end() ? nullptr : &found->second;
}

const BindingEnumerator* BindingTypeDescriptor::findEnumeratorByValue(std::int32_t value) const {
  for (const auto& [key, enumerator] : enumerators) {
    if (enumerator.value == value) return &enumerator;
  }
  return nullptr;
}

const BindingFieldDescriptor* BindingTypeDescriptor::findField(std::string_view fieldName) const {
  for (const BindingFieldDescriptor& field : fields) {
    if (field.name == fieldName) return &field;
  }
  return nullptr;
}

std::size_t BindingRegistry::IdentifierHash::operator()(std::uint32_t identifier) const noexcept {
  // The four bytes of the identifier, least significant first, through FNV-1a: identifiers are
  // hashes already, but the upper bits would otherwise decide little in a small table.
  std::uint32_t hash = 0x811C9DC5u;
  for (int shift = 0; shift < 32; shift += 8) {
    hash ^= (identifier >> shift) & 0xFFu;
    hash *= 16777619u;
  }
  return hash;
}

BindingRegistry::BindingRegistry()
    : functions_(kInitialBuckets),
      events_(kInitialBuckets),
      types_(kInitialBuckets),
      typesByIdentifier_(kInitialBuckets) {}

BindingRegistry::~BindingRegistry() = default;

BindingTypeBuilder BindingRegistry::registerType(std::uint32_t size, std::string_view name,
                                                 const BindingTypeInfo& typeInfo,
                                                 bool isEnumeration) {
  std::lock_guard lock(mutex_);
  if (const auto found = types_.find(name); found != types_.end()) {
    return BindingTypeBuilder(found->second.get(), true);
  }
  UniquePtr<BindingTypeDescriptor> created = makeUnique<BindingTypeDescriptor>();
  if (!created) throw std::bad_alloc();
  created->size = size;
  created->isEnumeration = isEnumeration;
  created->name = toString(name);
  created->identifier = typeInfo.identifier;
  created->typeInfo = &typeInfo;
  created->registry = this;
  BindingTypeDescriptor* descriptor = created.get();
  types_.emplace(NameKey(descriptor->name), std::move(created));
  if (typeInfo.identifier != kBindingNoContextIdentifier) {
    // One native type may be registered under several names; the first keeps the identifier.
    const auto [slot, inserted] = typesByIdentifier_.emplace(typeInfo.identifier, descriptor);
    assert((inserted || slot->second->typeInfo == &typeInfo ||
            std::strcmp(slot->second->typeInfo->displayText, typeInfo.displayText) == 0) &&
           "two native types share a type identifier; rename one of them");
    (void)slot;
    (void)inserted;
  }
  return BindingTypeBuilder(descriptor, false);
}

BindingEventBuilder BindingRegistry::registerEvent(std::string_view name,
                                                   const BindingTypeDescriptor* dataType) {
  std::lock_guard lock(mutex_);
  if (const auto found = events_.find(name); found != events_.end()) {
    return BindingEventBuilder(found->second.get(), true);
  }
  UniquePtr<BindingEventDescriptor> created = makeUnique<BindingEventDescriptor>();
  if (!created) throw std::bad_alloc();
  created->name = toString(name);
  created->dataType = dataType;
  BindingEventDescriptor* descriptor = created.get();
  events_.emplace(NameKey(descriptor->name), std::move(created));
  return BindingEventBuilder(descriptor, false);
}

BindingFunctionBuilder BindingRegistry::registerFunction(std::string_view name,
                                                         Vector<BindingFunctionArgument> arguments,
                                                         BindingTypeIdentifier returnType,
                                                         BindingFunctionInvokerPtr invoker) {
  std::unique_lock lock(mutex_);
  if (const auto found = functions_.find(name); found != functions_.end()) {
    BindingFunctionDescriptor* existing = found->second.get();
    lock.unlock();  // the rejected invoker is disposed of outside the lock
    invoker.reset();
    return BindingFunctionBuilder(existing, true);
  }
  UniquePtr<BindingFunctionDescriptor> created = makeUnique<BindingFunctionDescriptor>();
  if (!created) throw std::bad_alloc();
  created->name = toString(name);
  created->arguments = std::move(arguments);
  created->returnType = returnType;
  created->invoker = std::move(invoker);
  created->registry = this;
  created->registration = ++lastRegistration_;
  BindingFunctionDescriptor* descriptor = created.get();
  functions_.emplace(NameKey(descriptor->name), std::move(created));
  ++changeCounter_;
  return BindingFunctionBuilder(descriptor, false);
}

const BindingTypeDescriptor* BindingRegistry::findType(std::string_view name) const {
  std::lock_guard lock(mutex_);
  const auto found = types_.find(name);
  return found == types_.end() ? nullptr : found->second.get();
}

const BindingTypeDescriptor* BindingRegistry::findType(std::uint32_t typeIdentifier) const {
  std::lock_guard lock(mutex_);
  const auto found = typesByIdentifier_.find(typeIdentifier);
  return found == typesByIdentifier_.end() ? nullptr : found->second;
}

const BindingEventDescriptor* BindingRegistry::findEvent(std::string_view name) const {
  std::lock_guard lock(mutex_);
  const auto found = events_.find(name);
  return found == events_.end() ? nullptr : found->second.get();
}

const BindingFunctionDescriptor* BindingRegistry::findFunction(std::string_view name) const {
  std::lock_guard lock(mutex_);
  const auto found = functions_.find(name);
  return found == functions_.end() ? nullptr : found->second.get();
}

const String* BindingRegistry::enumeratorName(std::uint32_t typeIdentifier,
                                              std::int32_t value) const {
  const BindingTypeDescriptor* type = findType(typeIdentifier);
  if (type == nullptr) return nullptr;
  const BindingEnumerator* enumerator = type->findEnumeratorByValue(value);
  return enumerator == nullptr ? nullptr : &enumerator->name;
}

bool BindingRegistry::hasEnumeratorValue(std::uint32_t typeIdentifier, std::int32_t value) const {
  const BindingTypeDescriptor* type = findType(typeIdentifier);
  return type != nullptr && type->hasEnumeratorValue(value);
}

namespace {

template <typename D, typename Map>
Vector<const D*> snapshotOf(std::mutex& mutex, const Map& map) {
  Vector<const D*> copy;
  std::lock_guard lock(mutex);
  copy.reserve(map.size());
  for (const auto& [name, descriptor] : map) copy.push_back(descriptor.get());
  return copy;
}

}  // namespace

Vector<const BindingFunctionDescriptor*> BindingRegistry::functionSnapshot() const {
  return snapshotOf<BindingFunctionDescriptor>(mutex_, functions_);
}

Vector<const BindingEventDescriptor*> BindingRegistry::eventSnapshot() const {
  return snapshotOf<BindingEventDescriptor>(mutex_, events_);
}

Vector<const BindingTypeDescriptor*> BindingRegistry::typeSnapshot() const {
  return snapshotOf<BindingTypeDescriptor>(mutex_, types_);
}

bool BindingRegistry::removeFunction(const BindingFunctionDescriptor* function) {
  if (function == nullptr) return false;
  UniquePtr<BindingFunctionDescriptor> removed;
  {
    std::lock_guard lock(mutex_);
    const auto found = functions_.find(NameKey(function->name));
    if (found == functions_.end() || found->second.get() != function) return false;
    removed = std::move(found->second);
    functions_.erase(found);
    ++changeCounter_;
  }
  // A removal hook belongs here: unlocked, before `removed` goes.
  return true;  // `removed` disposes of the invoker and frees the descriptor, unlocked
}

bool BindingRegistry::removeEvent(std::string_view name) {
  UniquePtr<BindingEventDescriptor> removed;
  std::lock_guard lock(mutex_);
  const auto found = events_.find(name);
  if (found == events_.end()) return false;
  removed = std::move(found->second);
  events_.erase(found);
  return true;
}

void BindingRegistry::initialize() {
  if (initialized()) shutdown();
  registerBuiltinBindingTypes(*this);
  std::lock_guard lock(mutex_);
  initialized_ = true;
}

void BindingRegistry::shutdown() {
  {
    std::lock_guard lock(mutex_);
    if (!initialized_) return;
  }
  // Each map is emptied under the mutex and its descriptors destroyed outside it: converters
  // and invokers are disposed of without the lock held.
  { auto events = takeAll(mutex_, events_); }
  {
    decltype(types_) types;
    {
      std::lock_guard lock(mutex_);
      types.swap(types_);
      typesByIdentifier_.clear();
    }
  }
  {
    auto functions = takeAll(mutex_, functions_);
    std::lock_guard lock(mutex_);
    changeCounter_ += static_cast<std::uint32_t>(functions.size());
  }
  std::lock_guard lock(mutex_);
  initialized_ = false;
}

bool BindingRegistry::initialized() const {
  std::lock_guard lock(mutex_);
  return initialized_;
}

std::uint32_t BindingRegistry::changeCounter() const {
  std::lock_guard lock(mutex_);
  return changeCounter_;
}

}  // namespace tev
