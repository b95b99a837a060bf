#include "binding/host_value_conversion.h"

#include <cstring>
#include <limits>

#include "binding/binding_registry.h"
#include "binding/internal/conversion_steps.h"
#include "binding/nesting_limit.h"
#include "logging/format_message.h"
#include "platform/allocator_hooks.h"

namespace tev {

namespace {

constexpr const char* kIncompatibleType =
    "Couldn't assign value to '%1' of type object because the input is of an incompatible type "
    "'%2'.";
constexpr const char* kMissingData =
    "Couldn't assign value to '%1' because the input of type '%2' points to no data.";
constexpr const char* kMissingKey =
    "Couldn't assign value to '%1' because a member of the input structure has no key.";
constexpr const char* kTooManyElements =
    "Couldn't assign value to '%1' because the input collection has %2 elements, more than %3.";

// Structure entries are packed to 17 bytes, so the HostValue inside an entry is usually
// misaligned: it is copied out and in with memcpy and never used in place.
HostValue entryValue(const HostStructureEntry* entry) {
  HostValue value;
  std::memcpy(&value,
              reinterpret_cast<const unsigned char*>(entry) + offsetof(HostStructureEntry, value),
              sizeof value);
  return value;
}

void setEntryValue(HostStructureEntry* entry, const HostValue& value) {
  std::memcpy(reinterpret_cast<unsigned char*>(entry) + offsetof(HostStructureEntry, value), &value,
              sizeof value);
}

class FromHost {
 public:
  FromHost(HostResult& outcome, std::string_view path) : outcome_(outcome), path_(path) {}

  bool convert(BindingProperty& target, const HostValue& source, std::size_t depth) {
    switch (source.type) {
      case kHostValueEmpty:
        target.reset();
        return true;
      case kHostValueBool:
        target.setBool(source.payload.boolean != 0);
        return true;
      case kHostValueSigned:
        target.setSigned(source.payload.signedValue);
        return true;
      case kHostValueUnsigned:
        target.setUnsigned(source.payload.unsignedValue);
        return true;
      case kHostValueFloat:
        target.setFloat(source.payload.floatValue);
        return true;
      case kHostValueString:
      case kHostValueOwnedString:
        target.setString(source.payload.string.text);
        return true;
      case kHostValueBlob:
      case kHostValueOwnedBlob:
        if (source.payload.blob.bytes == nullptr && source.payload.blob.length != 0) {
          return fail(kMissingData, source.type);
        }
        target.setBlob(source.payload.blob.bytes, source.payload.blob.length);
        return true;
      case kHostValueCollection:
        return convertCollection(target, source, depth);
      case kHostValueStructure:
        return convertStructure(target, source, depth);
      default:
        // The payload of an unknown code is never read.
        return failFormatted(formatMessage(kIncompatibleType, toString(path_),
                                           toString(hostValueKindName(source.type))));
    }
  }

 private:
  bool convertCollection(BindingProperty& target, const HostValue& source, std::size_t depth) {
    const std::uint32_t count = source.payload.collection.count;
    const HostValue* elements = source.payload.collection.elements;
    if (elements == nullptr && count != 0) return fail(kMissingData, source.type);
    if (depth >= kMaxNestingDepth) return failTooDeep();
    if (count > kMaxCollectionSize) {
      return failFormatted(formatMessage(kTooManyElements, toString(path_), count,
                                         static_cast<std::uint32_t>(kMaxCollectionSize)));
    }
    target.makeCollection();
    target.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
      if (!convert(target.append(), elements[i], depth + 1)) return false;
    }
    return true;
  }

  bool convertStructure(BindingProperty& target, const HostValue& source, std::size_t depth) {
    const std::uint32_t count = source.payload.structure.count;
    const HostStructureEntry* entries = source.payload.structure.entries;
    if (entries == nullptr && count != 0) return fail(kMissingData, source.type);
    if (depth >= kMaxNestingDepth) return failTooDeep();
    target.makeStructure();
    for (std::uint32_t i = 0; i < count; ++i) {
      const char* key = entries[i].key;
      if (key == nullptr) return failFormatted(formatMessage(kMissingKey, toString(path_)));
      BindingProperty& member = target.member(key);
      member.reset();  // a repeated key takes the later value
      if (!convert(member, entryValue(&entries[i]), depth + 1)) return false;
    }
    return true;
  }

  bool fail(const char* message, std::uint32_t type) {
    return failFormatted(
        formatMessage(message, toString(path_), toString(hostValueKindName(type))));
  }

  bool failTooDeep() {
    return failFormatted(
        formatMessage(binding_internal::kInputTooDeepMessage, toString(path_), kMaxNestingDepth));
  }

  bool failFormatted(const String& message) {
    clearHostValue(outcome_.value);
    hookedFree(outcome_.error);
    outcome_.error = hookedDuplicateText(message.c_str());
    outcome_.hasError = 1;
    return false;
  }

  HostResult& outcome_;
  std::string_view path_;
};

class ToHost {
 public:
  explicit ToHost(const BindingRegistry* registry) : registry_(registry) {}

  // On failure `target` may hold a partly built value that clearHostValue can release.
  bool convert(HostValue& target, const BindingProperty& source, std::size_t depth) {
    std::memset(&target, 0, sizeof target);
    switch (source.kind()) {
      case BindingPropertyKind::kEmpty:
        return true;
      case BindingPropertyKind::kBool:
        target.type = kHostValueBool;
        target.payload.boolean = source.getBool() ? 1 : 0;
        return true;
      case BindingPropertyKind::kSigned:
        target.type = kHostValueSigned;
        target.payload.signedValue = source.getSigned();
        return true;
      case BindingPropertyKind::kUnsigned:
        target.type = kHostValueUnsigned;
        target.payload.unsignedValue = source.getUnsigned();
        return true;
      case BindingPropertyKind::kFloat:
        target.type = kHostValueFloat;
        target.payload.floatValue = source.getFloat();
        return true;
      case BindingPropertyKind::kString:
        return copyText(target, source.getString());
      case BindingPropertyKind::kBlob:
        return copyBlob(target, source.getBlob());
      case BindingPropertyKind::kEnum: {
        const BindingEnumValue value = source.getEnum();
        const String* name =
            registry_ == nullptr ? nullptr : registry_->enumeratorName(value.typeId, value.value);
        if (name != nullptr) return copyText(target, *name);
        target.type = kHostValueSigned;
        target.payload.signedValue = value.value;
        return true;
      }
      case BindingPropertyKind::kCollection:
        return convertCollection(target, source, depth);
      case BindingPropertyKind::kStructure:
        return convertStructure(target, source, depth);
    }
    return false;
  }

 private:
  static bool fitsLength(std::size_t size) {
    return size <= std::numeric_limits<std::uint32_t>::max();
  }

  static bool copyText(HostValue& target, std::string_view text) {
    if (!fitsLength(text.size())) return false;
    auto* copy = static_cast<char*>(hookedAllocate(text.size() + 1));
    if (copy == nullptr) return false;
    if (!text.empty()) std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    target.type = kHostValueOwnedString;
    target.payload.string.text = copy;
    target.payload.string.length = static_cast<std::uint32_t>(text.size());
    return true;
  }

  static bool copyBlob(HostValue& target, std::span<const std::uint8_t> bytes) {
    if (!fitsLength(bytes.size())) return false;
    target.type = kHostValueOwnedBlob;
    if (bytes.empty()) return true;
    auto* copy = static_cast<std::uint8_t*>(hookedAllocate(bytes.size()));
    if (copy == nullptr) return false;
    std::memcpy(copy, bytes.data(), bytes.size());
    target.payload.blob.bytes = copy;
    target.payload.blob.length = static_cast<std::uint32_t>(bytes.size());
    return true;
  }

  bool convertCollection(HostValue& target, const BindingProperty& source, std::size_t depth) {
    if (depth >= kMaxNestingDepth) return false;
    const std::span<const BindingProperty> elements = source.elements();
    if (!fitsLength(elements.size())) return false;
    target.type = kHostValueCollection;
    if (elements.empty()) return true;
    auto* array = static_cast<HostValue*>(hookedAllocate(elements.size() * sizeof(HostValue)));
    if (array == nullptr) return false;
    std::memset(array, 0, elements.size() * sizeof(HostValue));
    target.payload.collection.elements = array;
    target.payload.collection.count = static_cast<std::uint32_t>(elements.size());
    for (std::size_t i = 0; i < elements.size(); ++i) {
      if (!convert(array[i], elements[i], depth + 1)) return false;
    }
    return true;
  }

  bool convertStructure(HostValue& target, const BindingProperty& source, std::size_t depth) {
    if (depth >= kMaxNestingDepth) return false;
    const std::size_t count = source.size();
    if (!fitsLength(count)) return false;
    target.type = kHostValueStructure;
    if (count == 0) return true;
    auto* entries =
        static_cast<HostStructureEntry*>(hookedAllocate(count * sizeof(HostStructureEntry)));
    if (entries == nullptr) return false;
    std::memset(entries, 0, count * sizeof(HostStructureEntry));
    target.payload.structure.entries = entries;
    target.payload.structure.count = static_cast<std::uint32_t>(count);
    std::size_t i = 0;
    for (const BindingMember member : source.members()) {
      HostValue key;
      if (!copyText(key, member.key)) return false;
      entries[i].key = key.payload.string.text;
      entries[i].keyOwned = 1;
      HostValue value;
      const bool converted = convert(value, member.value, depth + 1);
      setEntryValue(&entries[i], value);  // stored even when partial, so clearing frees it
      if (!converted) return false;
      ++i;
    }
    return true;
  }

  const BindingRegistry* registry_;
};

void freeOwned(const void* block) { hookedFree(const_cast<void*>(block)); }

}  // namespace

std::string_view hostValueKindName(std::uint32_t type) {
  switch (type) {
    case kHostValueBool:
      return "bool";
    case kHostValueSigned:
      return "signed";
    case kHostValueUnsigned:
      return "unsigned";
    case kHostValueFloat:
      return "float";
    case kHostValueString:
    case kHostValueOwnedString:
      return "string";
    case kHostValueBlob:
    case kHostValueOwnedBlob:
      return "blob";
    case kHostValueCollection:
      return "collection";
    case kHostValueStructure:
      return "structure";
    default:
      return {};
  }
}

bool hostValueToProperty(HostResult& outcome, BindingProperty& target, const HostValue& source,
                         std::string_view path) {
  return FromHost(outcome, path).convert(target, source, 0);
}

bool propertyToHostValue(HostValue& target, const BindingProperty& source,
                         const BindingRegistry* registry) {
  if (ToHost(registry).convert(target, source, 0)) return true;
  clearHostValue(target);
  return false;
}

void clearHostValue(HostValue& value) {
  switch (value.type) {
    case kHostValueOwnedString:
      freeOwned(value.payload.string.text);
      break;
    case kHostValueOwnedBlob:
      freeOwned(value.payload.blob.bytes);
      break;
    case kHostValueCollection:
      if (value.payload.collection.elements == nullptr) break;
      for (std::uint32_t i = 0; i < value.payload.collection.count; ++i) {
        clearHostValue(value.payload.collection.elements[i]);
      }
      freeOwned(value.payload.collection.elements);
      break;
    case kHostValueStructure:
      if (value.payload.structure.entries == nullptr) break;
      for (std::uint32_t i = 0; i < value.payload.structure.count; ++i) {
        HostStructureEntry* entry = &value.payload.structure.entries[i];
        if (entry->keyOwned != 0) freeOwned(entry->key);
        HostValue member = entryValue(entry);
        clearHostValue(member);
        setEntryValue(entry, member);
      }
      freeOwned(value.payload.structure.entries);
      break;
    default:
      break;
  }
  std::memset(&value, 0, sizeof value);
}

void clearHostResult(HostResult& result) {
  clearHostValue(result.value);
  hookedFree(result.error);
  result.error = nullptr;
  result.hasError = 0;
}

}  // namespace tev
