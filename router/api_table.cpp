// The API table half of the router: turning endpoint records and registry snapshots into the
// packed records the host reads.
#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "binding/binding_event_descriptor.h"
#include "binding/binding_type_descriptor.h"
#include "router/internal/api_table_storage.h"
#include "router/router.h"

namespace tev {

namespace {

using router_internal::ApiTableStorage;

const char kEmptyText[] = "";

struct DescribedType {
  std::uint32_t type = 0;
  std::uint32_t elementType = 0;
  const char* name = kEmptyText;
};

std::uint32_t typeCode(BindingBuiltinType type) {
  const auto code = static_cast<std::uint32_t>(type);
  return code >= 1 && code <= 19 ? code : 0;
}

DescribedType describe(const BindingTypeIdentifier& type) {
  DescribedType described;
  described.type = typeCode(type.type);
  described.elementType = typeCode(type.elementType);
  switch (type.type) {
    case BindingBuiltinType::kVector:
    case BindingBuiltinType::kEnum:
    case BindingBuiltinType::kStruct:
    case BindingBuiltinType::kMap:
      if (type.descriptor != nullptr) described.name = type.descriptor->name.c_str();
      break;
    default:
      break;
  }
  return described;
}

template <typename Descriptor>
void sortByName(Vector<const Descriptor*>& descriptors) {
  std::sort(descriptors.begin(), descriptors.end(),
            [](const Descriptor* a, const Descriptor* b) { return a->name < b->name; });
}

// Chains the records of an array through their leading `next`; the last one's stays null.
template <typename Record>
void chain(Vector<Record>& records) {
  for (std::size_t i = 0; i + 1 < records.size(); ++i) records[i].next = &records[i + 1];
}

// Zeroes a packed record before it is filled, so every byte the host reads is defined.
template <typename Record>
Record zeroed() {
  Record record;
  std::memset(static_cast<void*>(&record), 0, sizeof record);
  return record;
}

class TableBuilder {
 public:
  explicit TableBuilder(ApiTableStorage& storage) : storage_(storage) {}

  // The texts as an array of pointers into them; null for none.
  const char* const* texts(const Vector<String>& source) {
    if (source.empty()) return nullptr;
    Vector<const char*>& array = storage_.texts.emplace_back();
    array.reserve(source.size());
    for (const String& text : source) array.push_back(text.c_str());
    return array.data();
  }

  ApiFunctionRecord function(const BindingFunctionDescriptor& function) {
    auto record = zeroed<ApiFunctionRecord>();
    record.name = function.name.c_str();
    record.nameSpace = function.nameSpace.c_str();
    if (!function.arguments.empty()) {
      Vector<ApiArgumentRecord>& arguments = storage_.arguments.emplace_back();
      arguments.reserve(function.arguments.size());
      for (const BindingFunctionArgument& argument : function.arguments) {
        auto& out = arguments.emplace_back(zeroed<ApiArgumentRecord>());
        const DescribedType type = describe(argument.type);
        out.name = argument.name.c_str();
        out.description = argument.description.c_str();
        out.type = type.type;
        out.elementType = type.elementType;
        out.typeName = type.name;
        out.optional = argument.optional ? 1 : 0;
      }
      chain(arguments);
      record.arguments = arguments.data();
      record.argumentCount = static_cast<std::uint32_t>(arguments.size());
    }
    const DescribedType returns = describe(function.returnType);
    record.returnType = returns.type;
    record.returnElementType = returns.elementType;
    record.returnTypeName = returns.name;
    record.description = function.description.c_str();
    record.help = function.help.c_str();
    record.threadSafe = function.threadSafe ? 1 : 0;
    record.asyncTypeName = function.async && function.returnType.descriptor != nullptr
                               ? function.returnType.descriptor->name.c_str()
                               : kEmptyText;
    record.tags = texts(function.tags);
    record.tagCount = static_cast<std::uint32_t>(function.tags.size());
    return record;
  }

  void fillEndpoint(ApiEndpointEntry& entry, const Endpoint& endpoint) {
    if (!endpoint.locations.empty()) {
      Vector<ApiLocationRecord>& locations = storage_.locations.emplace_back();
      locations.reserve(endpoint.locations.size());
      for (const ArgumentLocation location : endpoint.locations) {
        auto& out = locations.emplace_back(zeroed<ApiLocationRecord>());
        out.location = static_cast<std::uint32_t>(location);
      }
      chain(locations);
      entry.locations = locations.data();
    }
    entry.pathTemplate = endpoint.pathTemplate.c_str();
    entry.method =
        static_cast<std::uint32_t>(httpMethodFromHost(static_cast<std::uint32_t>(endpoint.method)));
    entry.flag = endpoint.flag;
    if (!endpoint.tagLists.empty()) {
      Vector<ApiTagList>& lists = storage_.tagLists.emplace_back();
      lists.reserve(endpoint.tagLists.size());
      for (const Vector<String>& tags : endpoint.tagLists) {
        auto& out = lists.emplace_back(zeroed<ApiTagList>());
        out.tags = texts(tags);
        out.tagCount = static_cast<std::uint32_t>(tags.size());
      }
      chain(lists);
      entry.tagLists = lists.data();
      entry.tagListCount = static_cast<std::uint32_t>(lists.size());
    }
    entry.methodText = endpoint.methodText.c_str();
  }

  ApiTypeRecord type(const BindingTypeDescriptor& type) {
    auto record = zeroed<ApiTypeRecord>();
    record.name = type.name.c_str();
    record.nameSpace = type.nameSpace.c_str();
    record.size = type.size;
    record.description = type.description.c_str();
    record.tags = texts(type.tags);
    record.tagCount = static_cast<std::uint32_t>(type.tags.size());
    if (!type.fields.empty()) {
      Vector<ApiFieldRecord>& fields = storage_.fields.emplace_back();
      fields.reserve(type.fields.size());
      for (const BindingFieldDescriptor& field : type.fields) {
        auto& out = fields.emplace_back(zeroed<ApiFieldRecord>());
        const BindingTypeIdentifier& identifier =
            field.secondType.type != BindingBuiltinType::kNone ? field.secondType : field.type;
        const DescribedType described = describe(identifier);
        out.name = field.name.c_str();
        out.description = field.description.c_str();
        out.offset = field.offset;
        out.type = described.type;
        out.elementType = described.elementType;
        out.typeName = described.name;
        out.optional = field.optional;
      }
      chain(fields);
      record.fields = fields.data();
      record.memberCount = static_cast<std::uint32_t>(fields.size());
    } else if (!type.enumerators.empty()) {
      Vector<ApiEnumeratorRecord>& enumerators = storage_.enumerators.emplace_back();
      enumerators.reserve(type.enumerators.size());
      for (const auto& [name, enumerator] : type.enumerators) {
        auto& out = enumerators.emplace_back(zeroed<ApiEnumeratorRecord>());
        out.name = enumerator.name.c_str();
        out.description = enumerator.description.c_str();
        out.value = enumerator.value;
      }
      chain(enumerators);
      record.enumerators = enumerators.data();
      record.memberCount = static_cast<std::uint32_t>(enumerators.size());
    }
    return record;
  }

  ApiEventRecord event(const BindingEventDescriptor& event) {
    auto record = zeroed<ApiEventRecord>();
    record.name = event.name.c_str();
    record.nameSpace = event.nameSpace.c_str();
    record.dataTypeName = event.dataType != nullptr ? event.dataType->name.c_str() : kEmptyText;
    record.description = event.description.c_str();
    record.tags = texts(event.tags);
    record.tagCount = static_cast<std::uint32_t>(event.tags.size());
    return record;
  }

 private:
  ApiTableStorage& storage_;
};

}  // namespace

PluginApiTable Router::buildApiTable() {
  Vector<std::pair<Endpoint*, std::uint64_t>> slots;
  {
    std::lock_guard lock(endpointMutex_);
    slots.reserve(endpoints_.size());
    for (const auto& [function, slot] : endpoints_) {
      slots.emplace_back(slot.record.get(), slot.registration);
    }
  }
  // An endpoint whose function has been removed from the registry points at a freed descriptor:
  // it is left out when no registered function has that address, and also when one does but is
  // a later function than the record was filled for (its invoker and path are not this one's).
  Vector<const BindingFunctionDescriptor*> functions = functionSnapshot();
  std::sort(functions.begin(), functions.end(), std::less<>());
  Vector<Endpoint*> endpoints;
  endpoints.reserve(slots.size());
  for (const auto& [endpoint, registration] : slots) {
    if (std::binary_search(functions.begin(), functions.end(), endpoint->function, std::less<>()) &&
        endpoint->function->registration == registration) {
      endpoints.push_back(endpoint);
    }
  }
  std::sort(endpoints.begin(), endpoints.end(), [](const Endpoint* a, const Endpoint* b) {
    return a->function->name < b->function->name;
  });

  UniquePtr<ApiTableStorage> storage = makeUnique<ApiTableStorage>();
  if (storage == nullptr) throw std::bad_alloc();
  TableBuilder builder(*storage);

  storage->endpoints.reserve(endpoints.size());
  for (const Endpoint* endpoint : endpoints) {
    auto& entry = storage->endpoints.emplace_back(zeroed<ApiEndpointEntry>());
    entry.function = builder.function(*endpoint->function);
    builder.fillEndpoint(entry, *endpoint);
  }
  for (std::size_t i = 0; i + 1 < storage->endpoints.size(); ++i) {
    storage->endpoints[i].function.next = &storage->endpoints[i + 1].function;
  }

  contexts_.clear();
  std::size_t buckets = 8;
  while (static_cast<float>(endpoints.size()) >
         static_cast<float>(buckets) * contexts_.max_load_factor()) {
    buckets *= 2;
  }
  contexts_.rehash(buckets);
  for (std::size_t i = 0; i < endpoints.size(); ++i) {
    Endpoint& endpoint = *endpoints[i];
    const BindingFunctionDescriptor& function = *endpoint.function;
    EndpointContext& context = contexts_[function.name];
    context.router = this;
    context.endpoint = &endpoint;
    context.route = Route::make(
        &function, &endpoint,
        endpoint.pathTemplate.empty() ? std::string_view(function.name) : endpoint.pathTemplate,
        endpoint.method, endpoint.methodText);
    ApiEndpointEntry& entry = storage->endpoints[i];
    entry.callback = &Router::handleRequest;
    entry.function.context = &context;
  }

  Vector<const BindingTypeDescriptor*> types = typeSnapshot();
  sortByName(types);
  storage->types.reserve(types.size());
  for (const BindingTypeDescriptor* type : types) storage->types.push_back(builder.type(*type));
  chain(storage->types);

  Vector<const BindingEventDescriptor*> events = eventSnapshot();
  sortByName(events);
  storage->events.reserve(events.size());
  for (const BindingEventDescriptor* event : events)
    storage->events.push_back(builder.event(*event));
  chain(storage->events);

  PluginApiTable table{};
  table.endpoints = storage->endpoints.empty() ? nullptr : storage->endpoints.data();
  table.endpointCount = static_cast<std::uint32_t>(storage->endpoints.size());
  table.types = storage->types.empty() ? nullptr : storage->types.data();
  table.typeCount = static_cast<std::uint32_t>(storage->types.size());
  table.events = storage->events.empty() ? nullptr : storage->events.data();
  table.eventCount = static_cast<std::uint32_t>(storage->events.size());
  table_ = std::move(storage);
  return table;
}

}  // namespace tev
